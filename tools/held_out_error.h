#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace ringcalib::synth {

// The squared reprojection error of each corner of a board photograph that the fisheye model
// (K, D) was not fitted to: the board's pose is fitted through the model (a start from the
// undistorted points, then Gauss-Newton on the pixel error), as a solve would fit it. `board`
// holds the board's points, index-aligned with `corners`.
std::vector<double> heldOutSquaredErrors(const std::vector<cv::Point3f>& board,
                                         const std::vector<cv::Point2f>& corners, const cv::Matx33d& K,
                                         const cv::Vec4d& D);

// The root mean square of squared errors; not a number without any.
double rootMeanSquare(const std::vector<double>& squared);

}  // namespace ringcalib::synth
