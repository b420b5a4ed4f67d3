#include "report/rectified_pair.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "pose/angles.h"
#include "pose/pose_geometry.h"
#include "report/still_lookup.h"
#include "rig/ring_frame.h"

namespace ringcalib::report {

namespace {

constexpr int kGap = 8;  // pixels between the two views

double rowAngle(const cv::Vec3d& ray) { return std::atan2(ray[1], ray[2]); }

cv::Size viewSize() {
  return {static_cast<int>(2 * kRectifiedHalfWidthDeg * kRectifiedPixelsPerDegree),
          static_cast<int>(2 * kRectifiedHalfHeightDeg * kRectifiedPixelsPerDegree)};
}

// The epipolar-frame ray at a picture pixel.
cv::Vec3d epipolarRay(double col, double row) {
  const double column = ((col + 0.5) / kRectifiedPixelsPerDegree - kRectifiedHalfWidthDeg) * kRadiansPerDegree;
  const double plane = ((row + 0.5) / kRectifiedPixelsPerDegree - kRectifiedHalfHeightDeg) * kRadiansPerDegree;
  return {std::sin(column), std::cos(column) * std::sin(plane), std::cos(column) * std::cos(plane)};
}

cv::Mat rectifiedView(const StillCamera& camera, const cv::Matx33d& toEpipolar, rig::PoseFrame frame) {
  const cv::Matx33d toSensor = rig::poseFrameToSensor(frame) * toEpipolar.t();
  const StillLookup lookup = lookUpStill(camera.lens, camera.still.size(), viewSize(),
                                         [&toSensor](double col, double row) { return toSensor * epipolarRay(col, row); });
  cv::Mat seen = remapStill(camera.still, lookup);
  seen.setTo(0, lookup.weight <= 0.0f);  // beyond the lens' field the model folds back
  return seen;
}

}  // namespace

EpipolarFrame epipolarFrame(const rig::PairPose& pose) {
  const cv::Vec3d x = unitVector(pose.t);
  const cv::Vec3d axes = cv::Vec3d(0.0, 0.0, 1.0) + pose.R.t() * cv::Vec3d(0.0, 0.0, 1.0);
  const cv::Vec3d z = unitVector(axes - axes.dot(x) * x);
  const cv::Vec3d y = z.cross(x);
  const cv::Matx33d first(x[0], x[1], x[2], y[0], y[1], y[2], z[0], z[1], z[2]);
  return {first, first * pose.R.t()};
}

std::vector<double> verticalDisparitiesDeg(const rig::PairPose& pose, const std::vector<cv::Vec3d>& rays1,
                                           const std::vector<cv::Vec3d>& rays2) {
  const EpipolarFrame frame = epipolarFrame(pose);
  std::vector<double> disparities;
  disparities.reserve(rays1.size());
  for (std::size_t k = 0; k < rays1.size() && k < rays2.size(); ++k) {
    const double first = rowAngle(frame.first * rays1[k]);
    const double second = rowAngle(frame.second * rays2[k]);
    const double disparity = std::abs(first - second) / kRadiansPerDegree;
    if (std::isfinite(disparity)) disparities.push_back(disparity);
  }
  return disparities;
}

cv::Mat rectifyPair(const StillCamera& first, const StillCamera& second, const rig::PairPose& pose,
                    rig::PoseFrame frame) {
  const EpipolarFrame epipolar = epipolarFrame(pose);
  const cv::Size view = viewSize();
  cv::Mat grey = cv::Mat::zeros(view.height, 2 * view.width + kGap, CV_8U);
  rectifiedView(first, epipolar.first, frame).copyTo(grey(cv::Rect(0, 0, view.width, view.height)));
  rectifiedView(second, epipolar.second, frame).copyTo(grey(cv::Rect(view.width + kGap, 0, view.width, view.height)));
  cv::Mat picture;
  cv::cvtColor(grey, picture, cv::COLOR_GRAY2BGR);
  const int step = static_cast<int>(kGuideStepDeg * kRectifiedPixelsPerDegree);
  for (int row = step; row < view.height; row += step) {
    cv::line(picture, {0, row}, {picture.cols - 1, row}, cv::Scalar(0, 200, 255), 1);
  }
  return picture;
}

}  // namespace ringcalib::report
