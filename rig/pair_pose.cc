#include "rig/pair_pose.h"

#include <cmath>

#include "pose/angles.h"
#include "rig/prepared_view.h"

namespace ringcalib::rig {

double rotationAngleDeg(const cv::Matx33d& R) {
  const double twiceSin = std::hypot(R(2, 1) - R(1, 2), R(0, 2) - R(2, 0), R(1, 0) - R(0, 1));
  const double twiceCos = R(0, 0) + R(1, 1) + R(2, 2) - 1.0;
  return degreesFromRadians(std::atan2(twiceSin, twiceCos));
}

double rotationErrorDeg(const cv::Matx33d& Ra, const cv::Matx33d& Rb) { return rotationAngleDeg(Ra * Rb.t()); }

double directionErrorDeg(const cv::Vec3d& a, const cv::Vec3d& b) {
  return degreesFromRadians(std::atan2(cv::norm(a.cross(b)), a.dot(b)));
}

double sampsonError(const cv::Matx33d& F, const cv::Point2d& x1, const cv::Point2d& x2) {
  const cv::Vec3d a(x1.x, x1.y, 1.0);
  const cv::Vec3d b(x2.x, x2.y, 1.0);
  const cv::Vec3d Fa = F * a;
  const cv::Vec3d Ftb = F.t() * b;
  const double gradient = std::sqrt(Fa[0] * Fa[0] + Fa[1] * Fa[1] + Ftb[0] * Ftb[0] + Ftb[1] * Ftb[1]);
  return b.dot(Fa) / gradient;
}

cv::Matx33d fundamentalOfPose(const cv::Matx33d& K, const PairPose& pose) {
  const cv::Vec3d& t = pose.t;
  const cv::Matx33d skew(0, -t[2], t[1], t[2], 0, -t[0], -t[1], t[0], 0);
  const cv::Matx33d Kinv = K.inv();
  return Kinv.t() * pose.R * skew * Kinv;
}

cv::Matx33d fileConventionTurn() {
  // Pixel row v is row v - 1800 about the assumed centre and v - 1799 about the true one:
  // the file's ray (x, y - 1 / 550, 1) is the geometric ray (x, y, 1) turned about x.
  const double angle = std::atan2(kViewCentre - kTurnedCentreRow, kViewFocal);
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  return cv::Matx33d(1.0, 0.0, 0.0, 0.0, c, -s, 0.0, s, c);
}

PairPose toFileConvention(const PairPose& geometric) {
  const cv::Matx33d Q = fileConventionTurn();
  return {Q * geometric.R * Q.t(), Q * geometric.t};
}

PairPose fromFileConvention(const PairPose& file) {
  const cv::Matx33d Q = fileConventionTurn();
  return {Q.t() * file.R * Q, Q.t() * file.t};
}

}  // namespace ringcalib::rig
