#include "tools/export_rig.h"

#include <filesystem>
#include <fstream>
#include <ostream>

#include "core/result_code.h"
#include "rig/parameter_document.h"
#include "tools/still_size.h"

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
  for (int n = 0; n < rig::kCameras; ++n) {
    rig::FisheyeCamera camera;
    if (!document.findCamera(n, camera) || !cv::checkRange(camera.K) || !cv::checkRange(camera.D) ||
        !(camera.K(0, 0) > 0.0) || !(camera.K(1, 1) > 0.0)) {
      errors << "error: " << paramsPath << " has no usable intrinsics of camera " << n << std::endl;
      return kBadParameterFile;
    }
    if (!document.findPose(n, rig.pairs[n]) || !cv::checkRange(rig.pairs[n].R) || !cv::checkRange(rig.pairs[n].t) ||
        cv::norm(rig.pairs[n].t) == 0.0) {
      errors << "error: " << paramsPath << " has no usable pose of pair " << n << "-" << rig::nextCamera(n)
             << ": the export needs a finished calibration (run the extrinsic job first)" << std::endl;
      return kBadParameterFile;
    }
    ExportCamera& exported = rig.cameras[n];
    exported.stillPath = std::filesystem::absolute(stillsDir + "/origin_" + std::to_string(n) + ".jpg")
                             .lexically_normal()
                             .string();
    exported.still = stillSize(exported.stillPath);
    if (exported.still.empty()) {
      errors << "error: the still of camera " << n << " (" << exported.stillPath << ") is missing or no image"
             << std::endl;
      return kImageMissing;
    }
    // The one scaling of the intrinsics to the stills, as the extrinsic job scales them.
    const double scale = camera.stillScale(exported.still);
    if (scale == 0.0) {
      errors << "error: camera " << n << ": " << exported.stillPath << " is " << exported.still.width << "x"
             << exported.still.height << ", not of the aspect of its video frames (" << camera.frameSize.width
             << "x" << camera.frameSize.height << ")" << std::endl;
      return kBadParameterFile;
    }
    exported.lens = camera.scaledToStill(scale);
  }
  return kSuccess;
}

}  // namespace ringcalib::exporting
