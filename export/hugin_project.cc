#include "export/hugin_project.h"

#include <cmath>
#include <stdexcept>

#include "core/number_format.h"
#include "pose/angles.h"
#include "rig/ring_frame.h"

namespace ringcalib::exporting {

namespace {

std::string number(double value) { return formatNumber("%.10g", value); }

bool finite(const HuginLens& lens, const HuginAngles& angles) {
  for (double value : {lens.hfovDeg, lens.a, lens.b, lens.c, lens.d, lens.e, angles.yaw, angles.pitch, angles.roll}) {
    if (!std::isfinite(value)) return false;
  }
  return true;
}

// Camera n's lens fit; its failure names the camera.
HuginFit fitOf(const ExportCamera& camera, int n) {
  try {
    return fitHuginLens(camera.lens, camera.still);
  } catch (const std::runtime_error& e) {
    throw std::runtime_error("camera " + std::to_string(n) + ": " + e.what());
  }
}

}  // namespace

HuginAngles huginAngles(const cv::Matx33d& M) {
  // The axis, M e3 = (sin yaw cos pitch, -sin pitch, cos yaw cos pitch); the second row of M
  // is (cos pitch sin roll, cos pitch cos roll, -sin pitch).
  HuginAngles angles;
  angles.yaw = degreesFromRadians(std::atan2(M(0, 2), M(2, 2)));
  angles.pitch = degreesFromRadians(std::atan2(-M(1, 2), std::hypot(M(0, 2), M(2, 2))));
  angles.roll = degreesFromRadians(std::atan2(M(1, 0), M(1, 1)));
  return angles;
}

rig::RingRotations ringSensorOrientations(const ExportRig& rig) {
  // The report's panorama maps a panorama ray to each camera's sensor frame the same way.
  rig::RingRotations orientations =
      rig::panoramaToSensor(rig::composeRing(rig::rotationsOf(rig.pairs)), rig.poseFrame);
  for (cv::Matx33d& orientation : orientations) orientation = orientation.t();
  return orientations;
}

HuginProject huginProject(const ExportRig& rig) {
  HuginProject project;
  const rig::RingRotations orientations = ringSensorOrientations(rig);
  std::string& text = project.text;
  text = "# hugin project file, written by ringcalib-export\n";
  text += "p f2 w" + std::to_string(rig::kPanoramaWidth) + " h" + std::to_string(rig::kPanoramaHeight) +
          " v360 k0 E0 R0 n\"TIFF_m c:LZW r:CROP\"\n";
  text += "m i0\n";
  const int cameras = static_cast<int>(rig.cameras.size());
  for (int n = 0; n < cameras; ++n) {
    const ExportCamera& camera = rig.cameras[n];
    project.fits.push_back(fitOf(camera, n));
    const HuginLens& lens = project.fits.back().lens;
    const HuginAngles angles = huginAngles(orientations[n]);
    if (!finite(lens, angles)) {
      throw std::runtime_error("camera " + std::to_string(n) +
                               ": a value of its lens or orientation in Hugin's terms is not finite");
    }
    text += "i w" + std::to_string(camera.still.width) + " h" + std::to_string(camera.still.height) +
            " f3 v" + number(lens.hfovDeg) + " Ra0 Rb0 Rc0 Rd0 Re0 Eev0 Er1 Eb1 r" + number(angles.roll) +
            " p" + number(angles.pitch) + " y" + number(angles.yaw) + " TrX0 TrY0 TrZ0 j0 a" + number(lens.a) +
            " b" + number(lens.b) + " c" + number(lens.c) + " d" + number(lens.d) + " e" + number(lens.e) +
            " g0 t0 Va1 Vb0 Vc0 Vd0 Vx0 Vy0 Vm5 n\"" + camera.stillPath + "\"\n";
  }
  return project;
}

}  // namespace ringcalib::exporting
