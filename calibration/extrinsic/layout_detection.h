#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "rig/fisheye_lens.h"
#include "rig/ring_layout.h"

namespace ringcalib::extrinsic {

// The ring's layout from one still per camera: features matched between neighbours, each
// pair's turn fitted to their rays (robustly, between half and one and a half spacings of an
// even ring), each camera's up as the axis of its two pairs' turns. `lenses` are in pixels of
// the stills. Returns true, or false with `why` saying which pair or camera and why.
bool findRingLayout(const std::vector<cv::Mat>& stills, const std::vector<rig::FisheyeCamera>& lenses,
                    rig::RingLayout& layout, std::string& why);

}  // namespace ringcalib::extrinsic
