// The extrinsic job's member access to the parameter document.
#include <iostream>

#include "calibration/compact_json.h"
#include "calibration/extrinsic_calibration.h"
#include "core/result_code.h"

int ExtrinsicCalibration::readCameraParams(cv::Matx<double, 3, 3>& K, cv::Vec<double, 4>& D,
                                           const int& id) {
  try {
    // Mutable access as in the rest of the job: a missing member reads as null and raises
    // the library's type error; the job then stops without writing the document.
    nlohmann::json& camera = document_["origin_" + std::to_string(id)];
    nlohmann::json& matrix = camera["camera_matrix"];
    K(0, 0) = ringcalib::readNumber(matrix["x"]);
    K(1, 1) = ringcalib::readNumber(matrix["y"]);
    K(0, 2) = ringcalib::readNumber(matrix["z"]);
    K(1, 2) = ringcalib::readNumber(matrix["w"]);
    K(2, 2) = 1.0;
    nlohmann::json& distortion = camera["distortion_factor"];
    D[0] = ringcalib::readNumber(distortion["x"]);
    D[1] = ringcalib::readNumber(distortion["y"]);
    D[2] = ringcalib::readNumber(distortion["z"]);
    D[3] = ringcalib::readNumber(distortion["w"]);
  } catch (const std::exception& e) {
    std::cout << "read intrinsic param failed : " << e.what() << std::endl;
    in_.close();
    return ringcalib::kBadParameterFile;
  }
  return ringcalib::kSuccess;
}

int ExtrinsicCalibration::writeExtrinsicParam(const cv::Mat& R, const cv::Mat& T, const int& id) {
  CV_Assert(R.rows == 3 && R.cols == 3 && R.type() == CV_64F);
  CV_Assert(T.rows == 3 && T.cols == 1 && T.type() == CV_64F);
  try {
    nlohmann::json pose = nlohmann::json::object();
    for (int i = 0; i < 3; ++i) {
      const std::string row = std::to_string(i);
      for (int j = 0; j < 3; ++j) pose["R" + row + std::to_string(j)] = R.at<double>(i, j);
      pose["T" + row + "0"] = T.at<double>(i, 0);
    }
    document_["origin_" + std::to_string(id)]["extrinsic_param"] = std::move(pose);
  } catch (const nlohmann::json::exception& e) {
    std::cout << "write extrinsic param failed : " << e.what() << std::endl;
    return ringcalib::kCannotStoreValue;
  }
  return ringcalib::kSuccess;
}
