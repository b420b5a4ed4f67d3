#pragma once

#include <string>

#include <opencv2/core/mat.hpp>

namespace ringcalib::test {

// The bytes of a baseline JPEG file that holds `bgr` (8-bit, 3 channels, any size) as four
// CMYK components in the inverted Adobe convention, the way some cameras and photo tools
// save stills. OpenCV reads such files but cannot write them. Every quantiser is 1, so a
// decoded image stays within a few levels of `bgr`. Throws std::invalid_argument for an
// empty image, another pixel type or a side longer than 65535.
std::string encodeCmykJpeg(const cv::Mat& bgr);

}  // namespace ringcalib::test
