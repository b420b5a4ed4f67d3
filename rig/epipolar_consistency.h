#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace ringcalib::rig {

// A correspondence within this Sampson distance of F is consistent with it.
inline constexpr double kSampsonLimitPx = 3.0;

// How many correspondences lie within `limitPx` of F by their Sampson distance (sampsonError), the count taken
// from pts1. Returns -1 when F is not a 3 x 3 matrix (no fundamental matrix was found).
int countConsistentWithF(const std::vector<cv::Point2f>& pts1,
                         const std::vector<cv::Point2f>& pts2, const cv::Mat& F,
                         double limitPx);

}  // namespace ringcalib::rig
