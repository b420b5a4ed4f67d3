#include "rig/ring_closure.h"

#include <algorithm>
#include <cmath>

#include <opencv2/calib3d.hpp>

#include "pose/angles.h"
#include "rig/pair_pose.h"
#include "rig/ring_frame.h"

namespace ringcalib::rig {

namespace {

// The rotation closest to the mean of `rotations` (without `skipped`) in the Frobenius
// norm: U V^T of the mean's singular value decomposition, with det = +1.
cv::Matx33d chordalMean(const std::vector<cv::Matx33d>& rotations, std::size_t skipped) {
  cv::Matx33d sum = cv::Matx33d::zeros();
  for (std::size_t n = 0; n < rotations.size(); ++n) {
    if (n != skipped) sum += rotations[n];
  }
  cv::Matx33d U, Vt;
  cv::Matx31d w;
  cv::SVD::compute(sum, w, U, Vt);
  if (cv::determinant(U * Vt) < 0) {
    for (int r = 0; r < 3; ++r) U(r, 2) = -U(r, 2);
  }
  return U * Vt;
}

}  // namespace

RingClosure computeRingClosure(const std::vector<cv::Matx33d>& rotations) {
  RingClosure ring;
  const cv::Matx33d around = chainRing(rotations).closure;
  ring.closureDeg = rotationAngleDeg(around);

  const std::size_t count = rotations.size();
  ring.explained.assign(count, 0.0);
  for (std::size_t k = 0; k < count; ++k) {
    cv::Matx33d after = cv::Matx33d::eye();  // R_{N-1} ... R_{k+1}
    for (std::size_t n = k + 1; n < count; ++n) after = rotations[n] * after;
    const cv::Vec3d implied = rotationVector(after.t() * around * after);
    const cv::Vec3d deviation = rotationVector(rotations[k] * chordalMean(rotations, k).t());
    // Below a nanoradian the ring closes to rounding, and there is nothing to explain.
    const double size = implied.dot(implied);
    ring.explained[k] = size > 1e-18 ? deviation.dot(implied) / size : 0.0;
  }
  ring.suspect = static_cast<int>(
      std::max_element(ring.explained.begin(), ring.explained.end()) - ring.explained.begin());
  return ring;
}

}  // namespace ringcalib::rig
