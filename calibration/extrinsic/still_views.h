#pragma once

#include <opencv2/core.hpp>

#include "rig/fisheye_lens.h"

namespace ringcalib::extrinsic {

// The still seen from its camera through `toView` (sensor frame -> the view's frame) as a
// pinhole view of camera matrix K, `size` pixels square, in the columns of `columns` only
// (the rest 0): every pixel's ray projected through the lens, also beyond 90 degrees off the
// axis, and 0 beyond the lens' field. `camera` is in pixels of the still.
cv::Mat viewOfStill(const cv::Mat& still, const rig::FisheyeCamera& camera, const cv::Matx33d& toView,
                    const cv::Matx33d& K, int size, const cv::Range& columns);

}  // namespace ringcalib::extrinsic
