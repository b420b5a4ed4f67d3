#pragma once

#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <opencv2/core.hpp>

#include "app/input_param.h"

// The extrinsic job: one still per camera to the relative pose of each neighbouring pair.
class ExtrinsicCalibration {
 public:
  // Runs the job on the first --image folder and rewrites the parameter file with the six
  // poses added. Returns a result code (calibration/result_code.h); on failure the file
  // stays as it was.
  int Calibrate(const std::vector<std::string>& imagePaths, const std::string& file,
                const InputParam::CalibrationType& type);

  // Reads camera `id`'s K (fx, fy, cx, cy; K(2,2) = 1) and D from the document. Returns 0,
  // or 4 after printing "read intrinsic param failed : " and the library's text.
  int readCameraParams(cv::Matx<double, 3, 3>& K, cv::Vec<double, 4>& D, const int& id);

  // Enters pair `id`'s R (3x3) and T (3x1) under "origin_<id>"."extrinsic_param". Returns
  // 0, or 6 after printing "write extrinsic param failed : " and the library's text.
  int writeExtrinsicParam(const cv::Mat& R, const cv::Mat& T, const int& id);

  // The document as loaded and extended (tests read it).
  nlohmann::json& document() { return document_; }

 private:
  int calibrate(const std::vector<std::string>& imagePaths, const std::string& file,
                const InputParam::CalibrationType& type);

  std::ifstream in_;
  nlohmann::json document_;
};
