#include "calibration/extrinsic_calibration.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>

#include "calibration/compact_json.h"
#include "calibration/extrinsic_geometry.h"
#include "calibration/extrinsic_progress.h"
#include "core/job_guard.h"
#include "calibration/parameter_file.h"
#include "core/result_code.h"
#include "report/view_samples.h"

using namespace ringcalib::extrinsic;
using ringcalib::kSuccess;

namespace {

// The image library reports a file it cannot open on standard error; the job reports it on
// standard output, so a missing file is recognised before the library is asked.
cv::Mat readGrey(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      ::access(path.c_str(), R_OK) != 0) {
    return cv::Mat();
  }
  return cv::imread(path, cv::IMREAD_GRAYSCALE);
}

// Undistortion divides by fx and fy and multiplies by every coefficient: a zero or negative
// focal length, or a value that is (or after the 1.25 scaling becomes) infinite or NaN,
// would give views and poses of garbage rather than an error. The scaled principal point of
// a real lens lies near the centre of the still, well inside its middle half; one outside it
// means a still of another size than 1.25 x the video frames, or unusable parameters (a
// focal length like 1e308 is finite but puts the still's pixels far beyond its borders).
bool usableIntrinsics(const cv::Matx33d& K, const cv::Vec4d& D, cv::Size still) {
  const double focalLimit = 100.0 * std::max(still.width, still.height);
  return K(0, 0) > 0.0 && K(1, 1) > 0.0 && K(0, 0) < focalLimit && K(1, 1) < focalLimit &&
         cv::checkRange(K) && cv::checkRange(D) &&
         std::abs(K(0, 2) - 0.5 * still.width) <= 0.25 * still.width &&
         std::abs(K(1, 2) - 0.5 * still.height) <= 0.25 * still.height;
}

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
  const double share = progressShare(type);

  int code = ringcalib::loadParameterDocument(in_, file, document_);
  if (code != kSuccess) return code;
  if (imagePaths.empty()) {
    std::cout << "No image folder was given (--image): the extrinsic job needs origin_0.jpg ... "
                 "origin_5.jpg"
              << std::endl;
    return ringcalib::kImageMissing;
  }

  // Loading: camera by camera, the image is checked before its parameters are read.
  std::array<cv::Mat, kCameras> grey;
  std::array<cv::Matx33d, kCameras> K;
  std::array<cv::Vec4d, kCameras> D;
  for (int n = 0; n < kCameras; ++n) {
    const std::string path = imagePaths.front() + "/origin_" + std::to_string(n) + ".jpg";
    grey[n] = readGrey(path);
    if (grey[n].data == nullptr || grey[n].empty()) {
      std::cout << path << " is empty" << std::endl;
      return ringcalib::kImageMissing;
    }
    setNonZero(grey[n]);
    K[n] = cv::Matx33d::zeros();
    D[n] = cv::Vec4d::all(0.0);
    code = readCameraParams(K[n], D[n], n);
    if (code != kSuccess) return code;
    if (report_ != nullptr) ringcalib::report::recordIntrinsicsInUse(report_->camera(n), K[n], D[n]);
    K[n](0, 0) *= kIntrinsicScale;
    K[n](0, 2) *= kIntrinsicScale;
    K[n](1, 1) *= kIntrinsicScale;
    K[n](1, 2) *= kIntrinsicScale;
    if (!usableIntrinsics(K[n], D[n], grey[n].size())) {
      std::cout << "camera " << n << ": the intrinsic parameters in " << file
                << " do not fit " << path << " (" << grey[n].cols << "x" << grey[n].rows
                << "): fx, fy must be positive, every value finite, the principal point "
                   "near the centre"
                << std::endl;
      return ringcalib::kBadParameterFile;
    }
    std::cout << "progress:" << loadingProgress(n, share) << std::endl;
  }
  in_.close();

  // Preparing: every still becomes an upright view of the common pinhole camera, once.
  std::array<cv::Mat, kCameras> Knew;
  std::array<cv::Mat, kCameras> views;
  for (int n = 0; n < kCameras; ++n) {
    Knew[n] = targetCameraMatrix();
    code = prepareView(n, grey[n], K[n], D[n], Knew[n], views[n]);
    if (code != kSuccess) return code;
    if (report_ != nullptr) report_->camera(n).preview = ringcalib::report::reducedPreview(views[n]);
    grey[n].release();
    std::cout << "progress:" << preparingProgress(n, share) << std::endl;
  }

  // Pairs: camera i with the next one around the ring.
  std::array<cv::Mat, kCameras> R;
  std::array<cv::Mat, kCameras> t;
  for (int i = 0; i < kCameras; ++i) {
    const int j = (i + 1) % kCameras;
    code = solvePair(i, j, views[i], views[j], Knew[i], Knew[j], R[i], t[i]);
    if (code != kSuccess) return code;
    std::cout << "progress:" << pairProgress(i, share) << std::endl;
  }

  // Store: the document as read, with the six poses added, replaces the file in one piece.
  for (int k = 0; k < kCameras; ++k) {
    code = writeExtrinsicParam(R[k], t[k], k);
    if (code != kSuccess) return code;
  }
  if (ringcalib::writeParameterFile(file, ringcalib::serializeCompact(document_)) != kSuccess) {
    return ringcalib::kCannotOpen;
  }
  return kSuccess;
}

int ExtrinsicCalibration::prepareView(int n, const cv::Mat& grey, const cv::Matx33d& K,
                                      const cv::Vec4d& D, const cv::Mat& Knew, cv::Mat& view) {
  try {
    cv::fisheye::undistortImage(grey, view, K, D, Knew,
                                cv::Size(kUndistortedSize, kUndistortedSize));
    rotate90(view);
  } catch (const std::exception& e) {
    std::cout << "extrinsic calibration of camera " << n
              << " failed: " << ringcalib::describeException(e) << std::endl;
    return ringcalib::kComputationFailed;
  }
  return kSuccess;
}
