#include "adjust/ring_start.h"

#include "rig/ring_frame.h"

namespace ringcalib::adjust {

RingPoses ringFromPairs(const std::vector<rig::PairPose>& pairs, rig::PoseFrame frame) {
  const rig::RingChain chain = rig::chainRing(rig::rotationsOf(pairs));
  const int cameras = static_cast<int>(pairs.size());
  RingPoses ring(cameras);
  std::vector<cv::Vec3d> axes(cameras);
  for (int n = 0; n < cameras; ++n) {
    ring[n].R = chain.orientations[n];
    axes[n] = ring[n].R.t() * cv::Vec3d(0, 0, 1);
  }
  // A level ring's axes span its plane; a tilted ring's lie on a cone, whose axis the
  // cameras' turns about the ring's up still give.
  const cv::Vec3d normal = frame == rig::PoseFrame::kPrepared ? rig::ringPlaneNormal(axes) : rig::ringUp(chain.orientations);
  std::vector<cv::Vec3d> bearings(cameras);
  for (int n = 0; n < cameras; ++n) {
    bearings[n] = cv::normalize(axes[n] - axes[n].dot(normal) * normal);
  }
  const double scale = 1.0 / cv::norm(bearings[1] - bearings[0]);
  for (int n = 0; n < cameras; ++n) ring[n].centre = scale * (bearings[n] - bearings[0]);
  return ring;
}

rig::PairPose pairOfRing(const RingPoses& ring, int n) {
  const CameraPose& a = ring[n];
  const CameraPose& b = ring[rig::nextCamera(n, static_cast<int>(ring.size()))];
  return {b.R * a.R.t(), cv::normalize(a.R * (b.centre - a.centre))};
}

bool triangulate(const cv::Vec3d& c1, const cv::Vec3d& d1, const cv::Vec3d& c2,
                 const cv::Vec3d& d2, cv::Vec3d& point) {
  // Minimise |c1 + a d1 - c2 - b d2| over a, b.
  const cv::Vec3d w = c1 - c2;
  const double p = d1.dot(d1), q = d1.dot(d2), r = d2.dot(d2), s = d1.dot(w), u = d2.dot(w);
  const double det = p * r - q * q;
  if (det < 1e-12) return false;
  const double a = (q * u - r * s) / det;
  const double b = (p * u - q * s) / det;
  if (a <= 0 || b <= 0) return false;
  point = 0.5 * (c1 + a * d1 + c2 + b * d2);
  return true;
}

}  // namespace ringcalib::adjust
