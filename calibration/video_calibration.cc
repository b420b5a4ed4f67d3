#include "calibration/video_calibration.h"

#include <iostream>

#include "calibration/compact_json.h"
#include "calibration/job_guard.h"
#include "calibration/parameter_file.h"
#include "calibration/result_code.h"

using ringcalib::kSuccess;

int VideoCalibration::Calibrate(const std::vector<std::string>& videoPaths,
                                const std::string& file,
                                const InputParam::CalibrationType& type) {
  return ringcalib::runGuarded("intrinsic calibration",
                               [&] { return calibrate(videoPaths, file, type); });
}

int VideoCalibration::calibrate(const std::vector<std::string>& videoPaths,
                                const std::string& file,
                                const InputParam::CalibrationType& type) {
  (void)videoPaths;
  (void)type;
  // The file is checked, not truncated: a run that fails keeps the earlier calibration.
  if (ringcalib::checkParameterFileWritable(file) != kSuccess) return ringcalib::kCannotOpen;
  document_["version"] = 1;
  std::cout << "intrinsic calibration failed: the checkerboard stage is not available in this build"
            << std::endl;
  return ringcalib::kComputationFailed;
}

int VideoCalibration::writeCameraParams(const cv::Matx33d& K, const cv::Vec4d& D, const int& id) {
  try {
    nlohmann::json& camera = document_["origin_" + std::to_string(id)];
    camera["camera_matrix"] =
        nlohmann::json::object({{"x", K(0, 0)}, {"y", K(1, 1)}, {"z", K(0, 2)}, {"w", K(1, 2)}});
    camera["distortion_factor"] =
        nlohmann::json::object({{"x", D[0]}, {"y", D[1]}, {"z", D[2]}, {"w", D[3]}});
  } catch (const std::exception& e) {
    std::cout << "write intrinsic param failed : " << e.what() << std::endl;
    return ringcalib::kCannotStoreValue;
  }
  return kSuccess;
}
