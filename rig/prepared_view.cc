#include "rig/prepared_view.h"

#include <cmath>

namespace ringcalib::rig {

double preparedViewReach() { return std::atan(kViewCentre / kViewFocal); }

cv::Matx33d targetCamera() {
  return cv::Matx33d(kViewFocal, 0.0, kViewCentre, 0.0, kViewFocal, kViewCentre, 0.0, 0.0, 1.0);
}

cv::Matx33d pairRotation() {
  const double c = std::cos(kPairAngle);
  const double s = std::sin(kPairAngle);
  return cv::Matx33d(c, 0.0, -s, 0.0, 1.0, 0.0, s, 0.0, c);
}

cv::Matx33d quarterTurn() { return cv::Matx33d(0.0, 1.0, 0.0, -1.0, 0.0, 0.0, 0.0, 0.0, 1.0); }

cv::Range flowStripColumns(int width) {
  const int start = static_cast<int>(width * 0.35);
  return cv::Range(start, start + static_cast<int>(width * 0.3));
}

cv::Point2d throughHomography(const cv::Matx33d& R, const cv::Point2d& q) {
  const cv::Matx33d K = targetCamera();
  const cv::Vec3d h = K * R * K.inv() * cv::Vec3d(q.x, q.y, 1.0);
  return {h[0] / h[2], h[1] / h[2]};
}

cv::Vec3d preparedDirection(const cv::Point2d& pixel) {
  return {(pixel.x - kViewCentre) / kViewFocal, (pixel.y - kTurnedCentreRow) / kViewFocal, 1.0};
}

bool preparedPixel(const cv::Vec3d& ray, cv::Point2d& pixel) {
  if (ray[2] <= 0.0) return false;
  pixel = {kViewCentre + kViewFocal * ray[0] / ray[2], kTurnedCentreRow + kViewFocal * ray[1] / ray[2]};
  return true;
}

cv::Vec3d preparedUnitRay(const cv::Point2f& pixel) {
  return cv::normalize(preparedDirection(cv::Point2d(pixel.x, pixel.y)));
}

}  // namespace ringcalib::rig
