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
  const int m = rig::nextCamera(n, p.cameras());
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
  const int rotationColumns = 3 * (p.cameras() - 1);
  const int camera = 1 + (column % rotationColumns) / 3;
  cv::Vec3d& block = column < rotationColumns ? p.rotations[camera] : p.centres[camera];
  return block[column % 3];
}

// The product a b, each entry summed in order as cv::Matx's product sums it: the sigmas keep
// the bits they had when the ring's size was fixed.
cv::Mat product(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat c(a.rows, b.cols, CV_64F);
  for (int i = 0; i < a.rows; ++i) {
    for (int j = 0; j < b.cols; ++j) {
      double s = 0.0;
      for (int k = 0; k < a.cols; ++k) s += a.at<double>(i, k) * b.at<double>(k, j);
      c.at<double>(i, j) = s;
    }
  }
  return c;
}

}  // namespace

std::vector<PairSigma> pairSigmas(const RingParameters& ring, const cv::Mat& covariance) {
  const int cameras = ring.cameras();
  const int free = ring.freeParameters();
  std::vector<PairSigma> sigmas(cameras);
  for (int n = 0; n < cameras; ++n) {
    const int m = rig::nextCamera(n, cameras);
    const cv::Matx33d Ra = rotationMatrix(ring.rotations[n]);
    const cv::Matx33d R0 = rotationMatrix(ring.rotations[m]) * Ra.t();
    const cv::Vec3d t0 = cv::normalize(Ra * (ring.centres[m] - ring.centres[n]));
    const cv::Vec3d helper = std::abs(t0[0]) < 0.9 ? cv::Vec3d(1, 0, 0) : cv::Vec3d(0, 1, 0);
    const cv::Vec3d across = cv::normalize(t0.cross(helper));
    const cv::Vec3d along = t0.cross(across);
    const cv::Vec<double, 5> base = pairMeasure(ring, n, R0, across, along);
    cv::Mat J(5, free, CV_64F);
    for (int k = 0; k < free; ++k) {
      RingParameters moved = ring;
      parameter(moved, k) += kStep;
      const cv::Vec<double, 5> d = (pairMeasure(moved, n, R0, across, along) - base) * (1.0 / kStep);
      for (int r = 0; r < 5; ++r) J.at<double>(r, k) = d[r];
    }
    const cv::Mat C = product(product(J, covariance), J.t());
    const auto c = [&](int i) { return C.at<double>(i, i); };
    sigmas[n].rotationDeg = std::sqrt(c(0) + c(1) + c(2)) * kDegreesPerRadian;
    sigmas[n].directionDeg = std::sqrt(c(3) + c(4)) * kDegreesPerRadian;
  }
  return sigmas;
}

}  // namespace ringcalib::adjust
