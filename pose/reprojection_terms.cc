#include "pose/reprojection_terms.h"

#include <algorithm>
#include <numeric>

#include "pose/cpose.h"

namespace ringcalib {

PerturbedProjections::PerturbedProjections(const cv::Mat& K, const cv::Mat& R, const cv::Mat& t) {
  const CPose pose;
  const cv::Matx33d camera = K;
  const cv::Vec3d translation = t;
  double x, y, z;
  pose.rotationToEuler(R, x, y, z);
  cv::Mat Ra, Rb, Rc;
  pose.eulerToRotation(x + kAngleStep, y, z, Ra);
  pose.eulerToRotation(x, y + kAngleStep, z, Rb);
  pose.eulerToRotation(x, y, z + kAngleStep, Rc);

  M[0] = camera * cv::Matx33d(R);
  M[1] = camera * cv::Matx33d(Ra);
  M[2] = camera * cv::Matx33d(Rb);
  M[3] = camera * cv::Matx33d(Rc);
  for (int k = 0; k < 4; ++k) b[k] = M[k] * translation;
  for (int axis = 0; axis < 3; ++axis) {
    cv::Vec3d moved = translation;
    moved[axis] += kTranslationStep;
    b[4 + axis] = M[0] * moved;
  }
}

std::vector<size_t> errorSamplePositions(size_t n) {
  std::vector<size_t> positions;
  if (n < 1000) {
    positions.resize(n);
    std::iota(positions.begin(), positions.end(), size_t{0});
    return positions;
  }
  positions.reserve(1000);
  const double count = static_cast<double>(n);
  const double step = count / 1000.0;
  for (double position = 0.1; position < count; position += step)
    positions.push_back(static_cast<size_t>(position));
  return positions;
}

RobustWeighting::RobustWeighting(std::vector<double> sample) {
  CV_Assert(!sample.empty());
  // NaN compares false with everything, which would break the sort's ordering; keep it last.
  std::sort(sample.begin(), sample.end(), [](double a, double b) {
    return a < b || (!std::isnan(a) && std::isnan(b));
  });
  const size_t m = sample.size();
  p80_ = sample[static_cast<size_t>(0.8 * static_cast<double>(m))];
  const double p95 = sample[static_cast<size_t>(0.95 * static_cast<double>(m))];
  cap_ = std::min(4.0 * p80_, p95);
  median_ = sample[m / 2];
}

}  // namespace ringcalib
