#include "calibration/intrinsic/board_covariance.h"

#include <opencv2/calib3d.hpp>

namespace ringcalib::intrinsic {

namespace {

constexpr int kPoseParameters = 6;  // the view's rotation vector and translation
// The columns of cv::fisheye::projectPoints' Jacobian: fx, fy, cx, cy, k1 ... k4, then the
// rotation vector and the translation.
constexpr int kPoseColumn = rig::kLensParameters;
constexpr int kFirstDistortionColumn = 4;

}  // namespace

bool boardCovariance(const std::vector<std::vector<cv::Point3f>>& objects,
                     const std::vector<std::vector<cv::Point2f>>& images,
                     const std::vector<cv::Vec3d>& rotations,
                     const std::vector<cv::Vec3d>& translations, const cv::Matx33d& K,
                     const cv::Vec4d& D, int distortionTerms, rig::LensCovariance& covariance) {
  // fx, fy, cx, cy and the terms fitted: the leading columns of the Jacobian.
  const int fitted = kFirstDistortionColumn + distortionTerms;
  cv::Mat information = cv::Mat::zeros(fitted, fitted, CV_64F);
  double squares = 0.0;
  int residuals = 0;
  for (std::size_t view = 0; view < objects.size(); ++view) {
    const std::vector<cv::Point3d> board(objects[view].begin(), objects[view].end());
    std::vector<cv::Point2d> projected;
    cv::Mat J;
    cv::fisheye::projectPoints(board, projected, rotations[view], translations[view], K, D, 0.0, J);
    for (std::size_t k = 0; k < projected.size(); ++k) {
      const cv::Point2d error = projected[k] - cv::Point2d(images[view][k]);
      squares += error.dot(error);
    }
    residuals += 2 * static_cast<int>(projected.size());
    const cv::Mat A = J.colRange(0, fitted);
    const cv::Mat B = J.colRange(kPoseColumn, kPoseColumn + kPoseParameters);
    const cv::Mat coupling = A.t() * B;
    cv::Mat poseInverse;
    if (cv::invert(B.t() * B, poseInverse, cv::DECOMP_CHOLESKY) == 0) return false;
    information += A.t() * A - coupling * poseInverse * coupling.t();
  }
  const int freedom = residuals - fitted - kPoseParameters * static_cast<int>(objects.size());
  if (freedom <= 0) return false;
  cv::Mat inverse;
  if (cv::invert(information, inverse, cv::DECOMP_CHOLESKY) == 0) return false;
  covariance = rig::LensCovariance::zeros();
  const cv::Mat into(rig::kLensParameters, rig::kLensParameters, CV_64F, covariance.val);
  cv::Mat(inverse * (squares / freedom)).copyTo(into(cv::Rect(0, 0, fitted, fitted)));
  return true;
}

}  // namespace ringcalib::intrinsic
