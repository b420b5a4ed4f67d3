#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace ringcalib::exporting {

// The pixel size of the still at `path`, or an empty size when it is missing or no image.
// A JPEG's size comes from its header alone, without decoding the picture.
cv::Size stillSize(const std::string& path);

}  // namespace ringcalib::exporting
