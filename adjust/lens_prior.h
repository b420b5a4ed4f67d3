#pragma once

#include <vector>

#include <ceres/problem.h>
#include <opencv2/core.hpp>

#include "adjust/ring_input.h"

// What the board solves knew of the intrinsics, as the prior of the ring adjustment's step dk
// from them. Over the ring's overlaps the cameras' intrinsics differ in what they predict (a
// focal length read 0.05 px long in one camera and not in its neighbour bends the rays of
// the shared points apart); the boards fix each camera's own, the ring what they differ by.
namespace ringcalib::adjust {

using LensStep = cv::Vec<double, rig::kLensParameters>;
using LensSteps = std::vector<LensStep>;

// The information of the step dk for camera n: C_n^-1 in the units of the adjustment's
// normal equations, whose observations have errors of variance `variance` (in the
// residuals' units, correlations included). A direction the covariance does not hold (a
// board solve's rounding) counts as known to a millionth of its largest sigma.
LensInformation lensInformation(const UncertainLenses& lenses, double variance);

// The prior's residual blocks: W dk with W^T W = the information, one per camera, no loss.
void addLensPriors(ceres::Problem& problem, const LensInformation& information, LensSteps& steps);

}  // namespace ringcalib::adjust
