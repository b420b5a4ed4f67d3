#pragma once

#include <functional>

#include <opencv2/core.hpp>

#include "rig/fisheye_lens.h"

// Where the pixels of a report picture look in a camera's still, through the rig model's
// lens (rig/fisheye_lens.h). The stored poses are in each camera's pose frame (rig/ring.h);
// the pictures reach the still through a rotation to its sensor frame (rig/ring_frame.h), so
// rays past 90 degrees off the axis stay valid.
namespace ringcalib::report {

// A camera as the pictures read it: its still and its lens in the still's pixels.
struct StillCamera {
  cv::Mat still;            // 8-bit, one channel
  rig::FisheyeCamera lens;
};

// Picture points are computed every kLookupStep pixels and interpolated bilinearly between:
// the lens is smooth, and a full-size panorama would otherwise cost tens of millions of
// projections.
inline constexpr int kLookupStep = 8;

// For each pixel of a picture: the still pixel it shows (map, CV_32FC2, for cv::remap) and
// its weight (CV_32F): (1 - theta / theta_max)^4 of the ray's angle theta off the axis,
// times a ramp over the last 32 pixels inside the still's border; 0 beyond the lens' field
// (rig::FisheyeLens::maxTheta) or off the still. `coarseWeight` keeps the weights of the
// computed points (every kLookupStep pixels).
struct StillLookup {
  cv::Mat map;
  cv::Mat weight;
  cv::Mat coarseWeight;
};

// `sensorRay(col, row)` gives the ray (any length) in the camera's sensor frame that the
// picture shows at pixel (col, row). `lens` is in pixels of the still, of size `still`.
StillLookup lookUpStill(const rig::FisheyeCamera& lens, cv::Size still, cv::Size picture,
                        const std::function<cv::Vec3d(double col, double row)>& sensorRay);

// The still seen through `lookup` (same type as `still`; black off the still).
cv::Mat remapStill(const cv::Mat& still, const StillLookup& lookup);

}  // namespace ringcalib::report
