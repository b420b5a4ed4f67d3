#pragma once

#include <algorithm>

#include "core/input_param.h"

// Progress of the extrinsic job. Alone it reports 0 ... 1; after the intrinsic job in "all"
// it reports the last tenth, 0.9 ... 1. Its three stages (loading, preparing, pairs) take
// 1/10, 1/3 and 17/30 of its share, each split evenly over the ring's `cameras` (or pairs).
// The expressions keep their operation order, so the printed values do not depend on how the
// compiler folds them.
namespace ringcalib::extrinsic {

inline double progressShare(InputParam::CalibrationType type) {
  return type == InputParam::ALL ? 0.1 : 1.0;
}

// After camera `n` (0-based) has been read.
inline double loadingProgress(int n, double s, int cameras) {
  return (n + 1) * (s / 10) / cameras + (1 - s);
}

// After camera `n`'s view has been undistorted and turned.
inline double preparingProgress(int n, double s, int cameras) {
  return (n + 1) * (s / 3) / cameras + ((1 - s) + s / 10);
}

// After pair `i` has been solved; held at 1 against rounding above it.
inline double pairProgress(int i, double s, int cameras) {
  return std::min(1.0, (i + 1) * (s * 17 / 30) / cameras + (s / 3 + ((1 - s) + s / 10)));
}

}  // namespace ringcalib::extrinsic
