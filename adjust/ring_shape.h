#pragma once

#include <cmath>

// A ring whose neighbouring pairs share no part of a camera's field (a ring of four
// fisheyes: each pair's overlap lies on the other side of their shared camera from the next
// pair's) has no track over three cameras to tie its baselines' lengths together. The pairs
// fix each baseline's direction, and a closed polygon of fixed directions keeps a free
// deformation of its lengths (a square's into rectangles) that moves no direction. A weak
// prior that neighbouring baselines are alike picks one shape; the poses do not depend on
// which.
namespace ringcalib::adjust {

// The prior's sigma: a tenth of a baseline between the lengths of neighbouring baselines.
constexpr double kAlikeBaselinesSigma = 0.1;

// (|c - b| - |b - a|) / sigma for the centres a, b, c of three cameras in ring order.
struct AlikeBaselines {
  template <typename T>
  bool operator()(const T* a, const T* b, const T* c, T* residual) const {
    using std::sqrt;
    const T first = sqrt((b[0] - a[0]) * (b[0] - a[0]) + (b[1] - a[1]) * (b[1] - a[1]) + (b[2] - a[2]) * (b[2] - a[2]));
    const T second = sqrt((c[0] - b[0]) * (c[0] - b[0]) + (c[1] - b[1]) * (c[1] - b[1]) + (c[2] - b[2]) * (c[2] - b[2]));
    residual[0] = (second - first) / T(kAlikeBaselinesSigma);
    return true;
  }
};

}  // namespace ringcalib::adjust
