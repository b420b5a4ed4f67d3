// The extrinsic job's stages on the parameter file: load it, read the cameras' intrinsics,
// enter the poses and store it.
#include <fstream>
#include <iostream>

#include "calibration/extrinsic/stages.h"
#include "core/result_code.h"

namespace ringcalib::extrinsic {

Result<rig::ParameterDocument> loadDocument(const std::string& file,
                                            const std::vector<std::string>& imagePaths, int cameras) {
  rig::ParameterDocument document;
  std::ifstream in;  // read whole and closed here: the stages use the document
  const int code = document.load(in, file);
  if (code != kSuccess) return Result<rig::ParameterDocument>::failure(code);
  const int held = document.cameraCount();
  if (cameras == 0) cameras = held == 0 ? rig::kCameras : held;  // the file's own
  else if (held != 0 && held != cameras) {
    std::cout << file << " holds " << held << " cameras, the run calibrates " << cameras
              << " (--cameras): run the intrinsic job with --cameras " << cameras
              << ", or give --cameras " << held << std::endl;
    return Result<rig::ParameterDocument>::failure(kBadParameterFile);
  }
  if (imagePaths.empty()) {
    std::cout << "No image folder was given (--image): the extrinsic job needs origin_0.jpg ... "
                 "origin_" << cameras - 1 << ".jpg"
              << std::endl;
    return Result<rig::ParameterDocument>::failure(kImageMissing);
  }
  return document;
}

Result<rig::FisheyeCamera> readCameraParams(rig::ParameterDocument& document, int id) {
  try {
    // A missing member reads as null and raises the library's type error; the job then
    // stops without writing the document.
    return document.camera(id);
  } catch (const std::exception& e) {
    std::cout << "read intrinsic param failed : " << e.what() << std::endl;
    return Result<rig::FisheyeCamera>::failure(kBadParameterFile);
  }
}

int writeExtrinsicParam(rig::ParameterDocument& document, const rig::PairPose& pose, int id) {
  try {
    document.setPose(id, pose);
  } catch (const nlohmann::json::exception& e) {
    std::cout << "write extrinsic param failed : " << e.what() << std::endl;
    return kCannotStoreValue;
  }
  return kSuccess;
}

int storePoses(rig::ParameterDocument& document, const PairPoses& poses, rig::PoseFrame frame,
               const std::string& file) {
  for (int k = 0; k < static_cast<int>(poses.size()); ++k) {
    const int code = writeExtrinsicParam(document, poses[k], k);
    if (code != kSuccess) return code;
  }
  document.setPoseFrame(frame);
  if (document.write(file) != kSuccess) return kCannotOpen;
  return kSuccess;
}

}  // namespace ringcalib::extrinsic
