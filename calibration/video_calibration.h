#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <opencv2/core.hpp>

#include "app/input_param.h"

// The intrinsic job: checkerboard videos of the six cameras to fisheye K and D.
class VideoCalibration {
 public:
  VideoCalibration() = default;

  // Runs the job on the --video folders and writes the parameter file. Returns a result
  // code (calibration/result_code.h); on failure the earlier file stays as it was.
  int Calibrate(const std::vector<std::string>& videoPaths, const std::string& file,
                const InputParam::CalibrationType& type);

  // Enters camera `id`'s K and D into the document. Returns 0, or 6 after printing
  // "write intrinsic param failed : " and the library's text.
  int writeCameraParams(const cv::Matx33d& K, const cv::Vec4d& D, const int& id);

  // The document as it stands (tests and the store step read it).
  const nlohmann::json& document() const { return document_; }

 private:
  int calibrate(const std::vector<std::string>& videoPaths, const std::string& file,
                const InputParam::CalibrationType& type);

  nlohmann::json document_;
};
