#include "export/export_rig.h"

#include <filesystem>
#include <fstream>
#include <ostream>

#include "core/input_param.h"
#include "core/result_code.h"
#include "rig/camera_still.h"
#include "rig/parameter_document.h"
#include "export/still_size.h"

namespace ringcalib::exporting {

int readExportRig(const std::string& paramsPath, const std::string& stillsDir, ExportRig& rig,
                  std::ostream& errors) {
  rig::ParameterDocument document;
  std::ifstream in;
  const int loaded = document.load(in, paramsPath);
  if (loaded != kSuccess) {
    errors << "error: " << (loaded == kWrongVersion ? "the version is not 1 in the parameter file " : "cannot read the parameter file ")
           << paramsPath << std::endl;
    return loaded;
  }
  const int cameras = document.cameraCount();
  if (cameras < InputParam::kMinCameras || cameras > InputParam::kMaxCameras) {
    errors << "error: " << paramsPath << " holds " << cameras << " cameras: a ring has " << InputParam::kMinCameras
           << " to " << InputParam::kMaxCameras << std::endl;
    return kBadParameterFile;
  }
  if (!document.findPoseFrame(rig.poseFrame)) {
    errors << "error: " << paramsPath << " gives its poses in frames the tool does not know "
           << "(\"pose_frame\" is not \"camera\")" << std::endl;
    return kBadParameterFile;
  }
  rig.cameras.resize(cameras);
  rig.pairs.resize(cameras);
  // N members origin_<n> of which one of origin_0 ... origin_<N-1> is missing leave a camera
  // without intrinsics here.
  for (int n = 0; n < cameras; ++n) {
    rig::FisheyeCamera camera;
    if (!document.findCamera(n, camera)) {
      errors << "error: " << paramsPath << " has no intrinsics of camera " << n << std::endl;
      return kBadParameterFile;
    }
    if (!document.findPose(n, rig.pairs[n]) || !cv::checkRange(rig.pairs[n].R) || !cv::checkRange(rig.pairs[n].t) ||
        cv::norm(rig.pairs[n].t) == 0.0) {
      errors << "error: " << paramsPath << " has no usable pose of pair " << n << "-" << rig::nextCamera(n, cameras)
             << ": the export needs a finished calibration (run the extrinsic job first)" << std::endl;
      return kBadParameterFile;
    }
    ExportCamera& exported = rig.cameras[n];
    exported.stillPath = std::filesystem::absolute(rig::stillPath(stillsDir, n)).lexically_normal().string();
    exported.still = stillSize(exported.stillPath);
    if (exported.still.empty()) {
      errors << "error: the still of camera " << n << " (" << exported.stillPath << ") is missing or no image"
             << std::endl;
      return kImageMissing;
    }
    // The intrinsics scaled to the still and checked against it as the extrinsic job does.
    const rig::LensOnStill onStill = rig::lensOnStill(camera, exported.still);
    if (onStill.fit != rig::StillFit::kFits) {
      errors << "error: " << rig::misfitLine(onStill.fit, n, camera, paramsPath, exported.stillPath, exported.still)
             << std::endl;
      return kBadParameterFile;
    }
    exported.lens = onStill.lens;
  }
  return kSuccess;
}

}  // namespace ringcalib::exporting
