#pragma once

#include <array>

#include <opencv2/core.hpp>

#include "rig/ring.h"

// One orientation per camera for the panorama, and the panorama's own frame.
//
// The world is camera 0's pose frame. O_n maps a world ray to camera n's pose frame
// (O_0 = I). Composed from the pair rotations, O_{n+1} = R_n O_n, and O_6 = R_5 ... R_0 is
// the ring closure C, which a perfect calibration makes the identity. The closure is
// spread evenly: with C = exp([w]), O'_n = O_n exp(-[w] n / 6), so that O'_6 = I and each
// pair's rotation is corrected by the same angle |w| / 6.
namespace ringcalib::report {

using RingOrientations = std::array<cv::Matx33d, rig::kCameras>;

// `pairRotations` holds R_0 ... R_5 in ring order.
RingOrientations composeRing(const std::array<cv::Matx33d, rig::kCameras>& pairRotations);

// The panorama's frame as the columns of a world rotation B (world ray = B · panorama ray):
// right, down, forward. Down is the normal of the ring's plane (the plane the cameras' axes
// span, by least squares), on the side of camera 0's image down; forward is camera 0's axis
// in that plane.
cv::Matx33d panoramaFrame(const RingOrientations& orientations);

}  // namespace ringcalib::report
