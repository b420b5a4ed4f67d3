#pragma once

#include <string>

#include <opencv2/core/mat.hpp>

namespace ringcalib::test {

// The bytes of a JPEG file holding `bgr` (8-bit, 3 channels) as four CMYK components with
// the Adobe marker, in the inverted convention that photo tools write (255 = no ink) and
// OpenCV's reader expects. OpenCV itself cannot write such files.
std::string encodeCmykJpeg(const cv::Mat& bgr);

}  // namespace ringcalib::test
