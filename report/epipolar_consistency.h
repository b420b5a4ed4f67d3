#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace ringcalib::report {

// The first-order (Sampson) distance in pixels of the correspondence x1 <-> x2 from the
// epipolar geometry x2^T F x1 = 0:
//   d = |x2^T F x1| / sqrt((F x1)_0^2 + (F x1)_1^2 + (F^T x2)_0^2 + (F^T x2)_1^2).
double sampsonDistance(const cv::Matx33d& F, const cv::Point2f& x1, const cv::Point2f& x2);

// How many correspondences lie within `limitPx` (Sampson distance) of F, the count taken
// from pts1. Returns -1 when F is not a 3 x 3 matrix (no fundamental matrix was found).
int countConsistentWithF(const std::vector<cv::Point2f>& pts1,
                         const std::vector<cv::Point2f>& pts2, const cv::Mat& F,
                         double limitPx);

}  // namespace ringcalib::report
