#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace ringcalib::extrinsic {

// Correspondences between two 8-bit one-channel views from DIS flow on their central
// 30 % strip: forward flow sampled on a 5-pixel grid, kept when the backward flow at the
// truncated target undoes it within 1 px and the target lies strictly inside the strip.
// Appends to pts1 (in I1) and pts2 (in I2), in full-image coordinates.
void matchesFromDenseOpticalFlow(const cv::Mat& I1, const cv::Mat& I2,
                                 std::vector<cv::Point2f>& pts1, std::vector<cv::Point2f>& pts2);

}  // namespace ringcalib::extrinsic
