#include "report/ring_closure.h"

#include <algorithm>
#include <cmath>

namespace ringcalib::report {

namespace {

double median(std::vector<double> values) {
  const std::size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + middle, values.end());
  if (values.size() % 2 == 1) return values[middle];
  const double upper = values[middle];
  const double lower = *std::max_element(values.begin(), values.begin() + middle);
  return 0.5 * (lower + upper);
}

}  // namespace

double rotationAngleDeg(const cv::Matx33d& R) {
  const double twiceSin = std::hypot(R(2, 1) - R(1, 2), R(0, 2) - R(2, 0), R(1, 0) - R(0, 1));
  const double twiceCos = R(0, 0) + R(1, 1) + R(2, 2) - 1.0;
  return std::atan2(twiceSin, twiceCos) * 180.0 / CV_PI;
}

RingClosure computeRingClosure(const std::array<cv::Matx33d, 6>& rotations) {
  RingClosure ring;
  cv::Matx33d around = cv::Matx33d::eye();
  for (const cv::Matx33d& R : rotations) around = R * around;
  ring.closureDeg = rotationAngleDeg(around);

  for (std::size_t k = 0; k < rotations.size(); ++k) {
    std::vector<double> toOthers;
    for (std::size_t j = 0; j < rotations.size(); ++j) {
      if (j != k) toOthers.push_back(rotationAngleDeg(rotations[k] * rotations[j].t()));
    }
    ring.deviationDeg[k] = median(toOthers);
  }
  ring.mostDeviating = static_cast<int>(
      std::max_element(ring.deviationDeg.begin(), ring.deviationDeg.end()) -
      ring.deviationDeg.begin());
  const double limit =
      std::max(kStandOutFloorDeg,
               kStandOutFactor * median({ring.deviationDeg.begin(), ring.deviationDeg.end()}));
  for (std::size_t k = 0; k < rotations.size(); ++k) {
    ring.standsOut[k] = ring.deviationDeg[k] > limit;
  }
  return ring;
}

}  // namespace ringcalib::report
