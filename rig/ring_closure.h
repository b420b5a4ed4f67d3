#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "rig/ring.h"

// Consistency of the pair rotations of a ring, without any ground truth.
//
// Pair n maps view n to view n + 1 (X_{n+1} = R_n (X_n - t_n)), so going once around the
// ring, R_{N-1} ... R_1 R_0 maps view 0 to itself and is the identity for a perfect
// calibration. The angle of that product is the closure error.
//
// The closure alone cannot say which pair is wrong: an error Q in pair k gives the product
// A Q A^T (A = R_{N-1} ... R_{k+1}), whose angle is the angle of Q whatever k is. What does
// point at the pair is that the cameras of a ring are alike, so their pair
// rotations are alike too, and that the closure error has a direction as well as a size.
// If pair k alone carries an error Q (R_k estimated as Q R_k), the closure C = A Q A^T tells
// Q = A^T C A exactly, and R_k's own deviation from the consensus of the other five pairs,
// D_k = R_k M_k^T, is then about Q. A pair whose deviation points along the error its
// closure implies, with the same size, explains the closure; the pairs that are right
// deviate only by the natural differences of the cameras, in no particular direction.
//
// As rotation vectors, with q_k = log(A_k^T C A_k) and d_k = log(D_k), the share of the
// closure that pair k explains is d_k . q_k / |q_k|^2: about 1 for the broken pair, about
// 0 for the others. The consensus M_k is the chordal mean of the other rotations.
namespace ringcalib::rig {

// Rotations of a ring whose pairs are right compose, once around, to within a few hundredths
// of a degree of the identity. Beyond this limit at least one pair is plainly wrong: the
// extrinsic job and the check stop rather than use its pose, and the report names the
// suspect.
inline constexpr double kClosureLimitDeg = 0.5;

struct RingClosure {
  double closureDeg = 0.0;         // angle of R_{N-1} ... R_0
  std::vector<double> explained;   // share of the closure each pair explains
  int suspect = 0;                 // the pair that explains the largest share

  // Beyond kClosureLimitDeg; a closure that is not a number breaks the ring too.
  bool broken() const { return !(closureDeg <= kClosureLimitDeg); }
};

// `rotations` holds R_0 ... R_{N-1} in ring order.
RingClosure computeRingClosure(const std::vector<cv::Matx33d>& rotations);

}  // namespace ringcalib::rig
