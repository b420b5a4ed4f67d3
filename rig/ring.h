#pragma once

// The ring of cameras and the frames every part of the tool shares. Stated here once.
//
// Cameras and pairs
//  - Cameras n = 0 ... N - 1 (N = 3 ... 8, six by default) sit on a ring, looking outwards,
//    about 360 / N degrees apart; camera n + 1 stands to the right of camera n, seen from
//    behind camera n. Pair n is the neighbouring pair (n, n + 1 mod N), camera n first; going
//    once around the ring visits pairs 0 ... N - 1.
//
// Frames of one camera (rig/prepared_view.h holds the numbers)
//  - sensor frame: x to the right of the raw still, y down it, z along the optical axis. The
//    fisheye camera (rig/fisheye_lens.h) maps this frame to pixels of the camera's video
//    frames; K is scaled to a still by still width / frame width (FisheyeCamera::stillScale:
//    1.25 for the standard rig's 4000 x 3000 stills of 3200 x 2400 frames).
//  - prepared frame: the frame of the prepared view, the sensor frame turned a quarter turn
//    about the optical axis (x_p = y_s, y_p = -x_s, z_p = z_s). The prepared view is the still
//    undistorted to a 3600 x 3600 pinhole image with f = 550 and principal point (1800, 1800),
//    then turned a quarter turn counter-clockwise. The turn maps undistorted column u to row
//    3599 - u, so the true principal point of the prepared view is (1800, 1799).
//
// Pair pose (rig/pair_pose.h)
//  - A point X1 in camera n's frame is X2 = R (X1 - t) in camera n + 1's frame; t is camera
//    n + 1's centre in camera n's frame, of unit length.
//  - The standard rig's layout (six cameras, each sensor turned a quarter as below, level): the
//    poses that the extrinsic job estimates and the parameter file stores take (1800, 1800) as
//    the prepared views' principal point. They are therefore the poses of frames turned by
//    about atan(1 / 550) (0.10 degrees) about each view's x axis, not of the geometric prepared
//    frames; downstream software reads them in this convention.
//  - Every other layout (rig/ring_layout.h): the poses are those of the cameras' sensor frames,
//    and the file says so ("pose_frame": "camera").
namespace ringcalib::rig {

// The cameras of the standard ring.
constexpr int kCameras = 6;

// The camera after n around a ring of `cameras`: the second camera of pair n.
constexpr int nextCamera(int n, int cameras = kCameras) { return (n + 1) % cameras; }

// A ring's number of cameras in words ("six"), as the tool's lines name it.
inline const char* spelledCount(int cameras) {
  static const char* const kNames[] = {"no", "one", "two", "three", "four", "five", "six", "seven", "eight"};
  return cameras >= 0 && cameras <= 8 ? kNames[cameras] : "many";
}

// The frames a ring's pair poses are given in: the standard rig's pose frames (the prepared
// frames as the poses take them), or the cameras' sensor frames.
enum class PoseFrame { kPrepared, kCamera };

}  // namespace ringcalib::rig
