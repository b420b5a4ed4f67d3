// The extrinsic job's member access to the parameter document.
#include <iostream>

#include "calibration/extrinsic/extrinsic_job.h"
#include "core/result_code.h"

int ExtrinsicCalibration::readCameraParams(cv::Matx<double, 3, 3>& K, cv::Vec<double, 4>& D,
                                           const int& id) {
  try {
    // A missing member reads as null and raises the library's type error; the job then
    // stops without writing the document.
    const ringcalib::rig::FisheyeCamera camera = document_.camera(id);
    K = camera.K;
    D = camera.D;
  } catch (const std::exception& e) {
    std::cout << "read intrinsic param failed : " << e.what() << std::endl;
    return ringcalib::kBadParameterFile;
  }
  return ringcalib::kSuccess;
}

int ExtrinsicCalibration::writeExtrinsicParam(const cv::Mat& R, const cv::Mat& T, const int& id) {
  CV_Assert(R.rows == 3 && R.cols == 3 && R.type() == CV_64F);
  CV_Assert(T.rows == 3 && T.cols == 1 && T.type() == CV_64F);
  try {
    document_.setPose(id, {cv::Matx33d(R), cv::Vec3d(T)});
  } catch (const nlohmann::json::exception& e) {
    std::cout << "write extrinsic param failed : " << e.what() << std::endl;
    return ringcalib::kCannotStoreValue;
  }
  return ringcalib::kSuccess;
}
