#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace ringcalib::intrinsic {

// Keeps in every view only the corners within 0.8 * (width / 2) of the centre of a
// width x height frame (the video frames' size), with their object points. Every view stays,
// empty or not.
void selectCorners(std::vector<std::vector<cv::Point2f>>& imagePoints,
                   std::vector<std::vector<cv::Point3f>>& objectPoints, int width, int height);

}  // namespace ringcalib::intrinsic
