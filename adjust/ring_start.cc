#include "adjust/ring_start.h"

namespace ringcalib::adjust {

RingPoses ringFromPairs(const std::array<rig::PairPose, rig::kCameras>& pairs,
                        std::array<double, rig::kCameras>& lengths) {
  RingPoses ring;
  ring[0] = {cv::Matx33d::eye(), cv::Vec3d(0, 0, 0)};
  // X_{n+1} = R_n (X_n - t_n): camera n + 1 turns by R_n from camera n; its centre lies along
  // t_n as seen from camera n.
  cv::Matx<double, 3, rig::kCameras> steps;
  for (int n = 0; n < rig::kCameras; ++n) {
    if (n > 0) ring[n].R = pairs[n - 1].R * ring[n - 1].R;
    const cv::Vec3d step = ring[n].R.t() * pairs[n].t;
    for (int r = 0; r < 3; ++r) steps(r, n) = step[r];
  }
  // Lengths s nearest all ones with steps s = 0: s = 1 - S^T (S S^T)^-1 S 1.
  const cv::Matx<double, rig::kCameras, 1> ones = cv::Matx<double, rig::kCameras, 1>::ones();
  const cv::Matx<double, rig::kCameras, 1> closing =
      ones - steps.t() * (steps * steps.t()).inv(cv::DECOMP_SVD) * (steps * ones);
  for (int n = 0; n < rig::kCameras; ++n) lengths[n] = closing(n) / closing(0);
  for (int n = 1; n < rig::kCameras; ++n) {
    ring[n].centre = ring[n - 1].centre +
                     lengths[n - 1] * cv::Vec3d(steps(0, n - 1), steps(1, n - 1), steps(2, n - 1));
  }
  return ring;
}

rig::PairPose pairOfRing(const RingPoses& ring, int n) {
  const CameraPose& a = ring[n];
  const CameraPose& b = ring[rig::nextCamera(n)];
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
