#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "report/still_lookup.h"
#include "rig/ring_frame.h"

// A ring's stills stitched into one equirectangular panorama of rig::kPanoramaWidth x
// rig::kPanoramaHeight (rig/ring_frame.h states its frame): column c looks at longitude
// ((c + 0.5) / width - 0.5) 360 degrees to the right of camera 0's axis, row r at latitude
// ((r + 0.5) / height - 0.5) 180 degrees below the ring's plane.
namespace ringcalib::report {

// A camera's outline encloses where it gives at least this share of the blend.
inline constexpr double kOutlineShare = 0.1;

struct Panorama {
  cv::Mat image;  // 8-bit, one channel
  // Per camera: the outlines of where it contributes (panorama pixels), and where its axis
  // lies.
  std::vector<std::vector<std::vector<cv::Point>>> outlines;
  std::vector<cv::Point2d> axes;
};

// The panorama pixel (continuous, pixel centres at whole numbers) of a panorama-frame ray.
cv::Point2d panoramaPixel(const cv::Vec3d& ray);

// One camera per orientation, `orientations` as rig::composeRing gives them, of pose frames
// `frame`. Each still is blended in by its weight (report/still_lookup.h: falling with the
// angle off the camera's axis); pixels no camera sees stay black.
Panorama stitchPanorama(const std::vector<StillCamera>& cameras, const rig::RingRotations& orientations,
                        rig::PoseFrame frame);

}  // namespace ringcalib::report
