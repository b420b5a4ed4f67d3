#pragma once

#include <optional>
#include <vector>

#include <opencv2/core.hpp>


// A camera's intrinsics as its board solve left them, with their uncertainty: the intrinsic
// job finds it, the ring adjustment's sigma carries what it moves the observed rays by.
namespace ringcalib::rig {

// The covariance of K and D in pixels of the video frames, in the order fx, fy, cx, cy,
// k1 ... k4.
constexpr int kLensParameters = 8;
using LensCovariance = cv::Matx<double, kLensParameters, kLensParameters>;

// The cameras' covariances as a run of the intrinsic job found them, where it found them.
using LensCovariances = std::vector<std::optional<LensCovariance>>;

}  // namespace ringcalib::rig
