#include "adjust/ring_uncertainty.h"

#include <cmath>

#include "pose/angles.h"

namespace ringcalib::adjust {

namespace {

constexpr double kStep = 1e-7;

// Pair n's rotation and direction as five numbers about a reference pose: the rotation's
// angle-axis from the reference, then the direction's components across the reference's.
cv::Vec<double, 5> pairMeasure(const RingParameters& p, int n, const cv::Matx33d& R0,
                               const cv::Vec3d& across, const cv::Vec3d& along) {
  const int m = rig::nextCamera(n);
  const cv::Matx33d Ra = rotationMatrix(p.rotations[n]);
  const cv::Matx33d R = rotationMatrix(p.rotations[m]) * Ra.t();
  // The rotation vector of a turn this small is its skew part; the library's angle-axis
  // goes through the trace and loses these angles.
  const cv::Matx33d D = R * R0.t();
  const cv::Vec3d turn(0.5 * (D(2, 1) - D(1, 2)), 0.5 * (D(0, 2) - D(2, 0)), 0.5 * (D(1, 0) - D(0, 1)));
  const cv::Vec3d t = cv::normalize(Ra * (p.centres[m] - p.centres[n]));
  return {turn[0], turn[1], turn[2], t.dot(across), t.dot(along)};
}

double& parameter(RingParameters& p, int column) {
  const int camera = 1 + (column % 15) / 3;
  cv::Vec3d& block = column < 15 ? p.rotations[camera] : p.centres[camera];
  return block[column % 3];
}

}  // namespace

std::array<PairSigma, rig::kCameras> pairSigmas(
    const RingParameters& ring, const cv::Matx<double, kFreeParameters, kFreeParameters>& covariance) {
  std::array<PairSigma, rig::kCameras> sigmas;
  for (int n = 0; n < rig::kCameras; ++n) {
    const int m = rig::nextCamera(n);
    const cv::Matx33d Ra = rotationMatrix(ring.rotations[n]);
    const cv::Matx33d R0 = rotationMatrix(ring.rotations[m]) * Ra.t();
    const cv::Vec3d t0 = cv::normalize(Ra * (ring.centres[m] - ring.centres[n]));
    const cv::Vec3d helper = std::abs(t0[0]) < 0.9 ? cv::Vec3d(1, 0, 0) : cv::Vec3d(0, 1, 0);
    const cv::Vec3d across = cv::normalize(t0.cross(helper));
    const cv::Vec3d along = t0.cross(across);
    const cv::Vec<double, 5> base = pairMeasure(ring, n, R0, across, along);
    cv::Matx<double, 5, kFreeParameters> J;
    for (int k = 0; k < kFreeParameters; ++k) {
      RingParameters moved = ring;
      parameter(moved, k) += kStep;
      const cv::Vec<double, 5> d = (pairMeasure(moved, n, R0, across, along) - base) * (1.0 / kStep);
      for (int r = 0; r < 5; ++r) J(r, k) = d[r];
    }
    const cv::Matx<double, 5, 5> C = J * covariance * J.t();
    sigmas[n].rotationDeg = std::sqrt(C(0, 0) + C(1, 1) + C(2, 2)) * kDegreesPerRadian;
    sigmas[n].directionDeg = std::sqrt(C(3, 3) + C(4, 4)) * kDegreesPerRadian;
  }
  return sigmas;
}

}  // namespace ringcalib::adjust
