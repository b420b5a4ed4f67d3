#pragma once

#include <functional>

#include <opencv2/core.hpp>

#include "pose/cpose.h"
#include "pose/normal_equations.h"

namespace ringcalib {

// Largest angle step of one iteration in radians (3.14 / 180, about one degree).
constexpr double kMaxAngleStep = 0.017444444444444446;

// Scales the raw Gauss-Newton step (dx, dy, dz, dt1, dt2, dt3) as a whole, keeping its
// direction, so that no angle increment exceeds kMaxAngleStep and no translation increment
// exceeds 0.5; then again so that they stay within kMaxAngleStep * remaining / 100 + 0.003
// and 0.1. `remaining` counts the iterations still to come after this one, so the angle
// steps shrink towards 0.003 rad at the end of the refinement.
cv::Vec6d boundedStep(const cv::Vec6d& raw, int remaining);

// The normal equations of the pose (R, t), from the points it triangulates out of the
// correspondences the builder was made for.
using NormalEquationBuilder =
    std::function<NormalEquations(const cv::Mat& R, const cv::Mat& t)>;

// The loop of CPose::optimizeRt with the normal equations taken from `build`; optimizeRt
// passes accumulateNormalEquations on the correspondences' rays, computed once. Runs
// maxIterations (> 0) iterations.
double refinePose(cv::Mat& R, cv::Mat& t, int maxIterations, const NormalEquationBuilder& build);

}  // namespace ringcalib
