#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace ringcalib {

// The per-correspondence reprojection errors, in pixels of the second view, of a pose
// (R, t) with X2 = R (X1 - t): each correspondence is triangulated on the first ray
// (CPose::triangulation) and projected through K R (X - t), with the refinement's own
// arithmetic, so the errors are those the refinement itself would measure for this pose.
std::vector<double> poseReprojectionErrors(const std::vector<cv::Point2f>& pts1,
                                           const std::vector<cv::Point2f>& pts2,
                                           const cv::Mat& K, const cv::Mat& R,
                                           const cv::Mat& t);

}  // namespace ringcalib
