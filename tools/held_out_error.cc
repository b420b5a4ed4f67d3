#include "tools/held_out_error.h"

#include <cmath>

#include <opencv2/calib3d.hpp>

namespace ringcalib::synth {

namespace {

constexpr int kPoseIterations = 30;
constexpr double kDifferenceStep = 1e-7;

// The pixel errors (x, y of each corner) of the board at `pose` (rotation vector, translation).
cv::Mat poseResiduals(const std::vector<cv::Point3d>& board, const std::vector<cv::Point2f>& corners,
                      const cv::Matx33d& K, const cv::Vec4d& D, const cv::Vec6d& pose) {
  std::vector<cv::Point2d> projected;
  cv::fisheye::projectPoints(board, projected, cv::Vec3d(pose[0], pose[1], pose[2]),
                             cv::Vec3d(pose[3], pose[4], pose[5]), K, D);
  cv::Mat r(2 * static_cast<int>(corners.size()), 1, CV_64F);
  for (std::size_t i = 0; i < corners.size(); ++i) {
    r.at<double>(static_cast<int>(2 * i)) = projected[i].x - corners[i].x;
    r.at<double>(static_cast<int>(2 * i + 1)) = projected[i].y - corners[i].y;
  }
  return r;
}

}  // namespace

std::vector<double> heldOutSquaredErrors(const std::vector<cv::Point3f>& board,
                                         const std::vector<cv::Point2f>& corners, const cv::Matx33d& K,
                                         const cv::Vec4d& D) {
  std::vector<cv::Point2f> normalised;
  cv::fisheye::undistortPoints(corners, normalised, K, D);
  cv::Vec3d rotation, translation;
  cv::solvePnP(board, normalised, cv::Matx33d::eye(), cv::noArray(), rotation, translation);
  const std::vector<cv::Point3d> points(board.begin(), board.end());
  cv::Vec6d pose(rotation[0], rotation[1], rotation[2], translation[0], translation[1], translation[2]);
  for (int iteration = 0; iteration < kPoseIterations; ++iteration) {
    const cv::Mat r = poseResiduals(points, corners, K, D, pose);
    cv::Mat J(r.rows, 6, CV_64F);
    for (int p = 0; p < 6; ++p) {
      cv::Vec6d moved = pose;
      moved[p] += kDifferenceStep;
      cv::Mat((poseResiduals(points, corners, K, D, moved) - r) / kDifferenceStep).copyTo(J.col(p));
    }
    cv::Mat step;
    cv::solve(J, -r, step, cv::DECOMP_SVD);
    for (int p = 0; p < 6; ++p) pose[p] += step.at<double>(p);
    if (cv::norm(step) < 1e-12) break;
  }
  const cv::Mat r = poseResiduals(points, corners, K, D, pose);
  std::vector<double> squared;
  for (int i = 0; i < r.rows; i += 2) {
    squared.push_back(r.at<double>(i) * r.at<double>(i) + r.at<double>(i + 1) * r.at<double>(i + 1));
  }
  return squared;
}

double rootMeanSquare(const std::vector<double>& squared) {
  double sum = 0.0;
  for (const double s : squared) sum += s;
  return std::sqrt(sum / static_cast<double>(squared.size()));
}

}  // namespace ringcalib::synth
