#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>

// Consistency of the six pair rotations of a ring, without any ground truth.
//
// Pair n maps view n to view n + 1 (X_{n+1} = R_n (X_n - t_n)), so going once around the
// ring, R_5 R_4 R_3 R_2 R_1 R_0 maps view 0 to itself and is the identity for a perfect
// calibration. The angle of that product is the closure error.
//
// The closure alone cannot say which pair is wrong: an error Q in pair k gives the product
// A Q A^T (A = R_5 ... R_{k+1}), whose angle is the angle of Q whatever k is. What does
// point at the pair is that the six cameras of a ring are alike, so the six pair rotations
// are alike too. A pair's deviation is the median of the angles between its rotation and
// each of the other five; one bad pair lies far from the five others (a large median),
// while a good pair lies near at least four of the five (a small median).
namespace ringcalib::report {

// The angle of a rotation in degrees: atan2(|axis part| / 2, (trace - 1) / 2), which
// keeps its precision near 0 where acos of the trace would not.
double rotationAngleDeg(const cv::Matx33d& R);

struct RingClosure {
  double closureDeg = 0.0;              // angle of R_5 ... R_0
  std::array<double, 6> deviationDeg{}; // each pair's median angle to the other five
  int mostDeviating = 0;                // the pair with the largest deviation
  std::array<bool, 6> standsOut{};      // deviation above both limits of standsOutFrom
};

// A deviation stands out when it exceeds kStandOutFloorDeg and kStandOutFactor times the
// median deviation of the six pairs.
inline constexpr double kStandOutFloorDeg = 0.5;
inline constexpr double kStandOutFactor = 3.0;

// `rotations` holds R_0 ... R_5 in ring order (exactly six).
RingClosure computeRingClosure(const std::array<cv::Matx33d, 6>& rotations);

}  // namespace ringcalib::report
