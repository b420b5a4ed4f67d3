#include "tools/tool_view.h"

#include <cmath>

namespace ringcalib::synth::tool_view {

cv::Matx33d cameraMatrix() { return cv::Matx33d(kFocal, 0.0, kCentre, 0.0, kFocal, kCentre, 0.0, 0.0, 1.0); }

cv::Matx33d pairRotation() {
  const double angle = 30.0 * kToolPi / 180.0;
  const double c = std::cos(angle), s = std::sin(angle);
  return cv::Matx33d(c, 0.0, -s, 0.0, 1.0, 0.0, s, 0.0, c);
}

cv::Point2d throughHomography(const cv::Matx33d& R, const cv::Point2d& q) {
  const cv::Matx33d K = cameraMatrix();
  const cv::Vec3d h = K * R * K.inv() * cv::Vec3d(q.x, q.y, 1.0);
  return {h[0] / h[2], h[1] / h[2]};
}

}  // namespace ringcalib::synth::tool_view
