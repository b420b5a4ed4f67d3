#include "calibration/extrinsic_calibration.h"

#include <array>
#include <iostream>

#include <opencv2/imgcodecs.hpp>

#include "calibration/job_guard.h"
#include "calibration/parameter_file.h"
#include "calibration/result_code.h"

namespace {

constexpr int kCameras = 6;
constexpr double kIntrinsicScale = 1.25;  // the stills are 1.25 x the video frames

}  // namespace

int ExtrinsicCalibration::Calibrate(const std::vector<std::string>& imagePaths,
                                    const std::string& file,
                                    const InputParam::CalibrationType& type) {
  return ringcalib::runGuarded("extrinsic calibration",
                               [&] { return calibrate(imagePaths, file, type); });
}

int ExtrinsicCalibration::calibrate(const std::vector<std::string>& imagePaths,
                                    const std::string& file,
                                    const InputParam::CalibrationType& type) {
  const double share = type == InputParam::ALL ? 0.1 : 1.0;

  int code = ringcalib::loadParameterDocument(in_, file, document_);
  if (code != ringcalib::kSuccess) return code;
  if (imagePaths.empty()) {
    std::cout << "No image folder was given (--image): the extrinsic job needs origin_0.jpg ... "
                 "origin_5.jpg"
              << std::endl;
    return ringcalib::kImageMissing;
  }

  std::array<cv::Mat, kCameras> grey;
  std::array<cv::Matx33d, kCameras> K;
  std::array<cv::Vec4d, kCameras> D;
  for (int n = 0; n < kCameras; ++n) {
    const std::string path = imagePaths.front() + "/origin_" + std::to_string(n) + ".jpg";
    grey[n] = cv::imread(path, cv::IMREAD_GRAYSCALE);
    if (grey[n].data == nullptr || grey[n].empty()) {
      std::cout << path << " is empty" << std::endl;
      return ringcalib::kImageMissing;
    }
    K[n] = cv::Matx33d::zeros();
    D[n] = cv::Vec4d::all(0.0);
    code = readCameraParams(K[n], D[n], n);
    if (code != ringcalib::kSuccess) return code;
    K[n](0, 0) *= kIntrinsicScale;
    K[n](0, 2) *= kIntrinsicScale;
    K[n](1, 1) *= kIntrinsicScale;
    K[n](1, 2) *= kIntrinsicScale;
    std::cout << "progress:" << (n + 1) * (share / 10) / kCameras + (1 - share) << std::endl;
  }
  in_.close();

  std::cout << "extrinsic calibration failed: the pair stage is not available in this build"
            << std::endl;
  return ringcalib::kComputationFailed;
}
