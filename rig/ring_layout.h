#pragma once

#include <vector>

#include <opencv2/core.hpp>

// How the cameras of a ring are mounted, as the stills show it, and the frame in which the two
// views of a pair are compared.
//
// The ring's up is the axis about which each camera's next neighbour is turned: camera n + 1
// stands to the right of camera n, so the turn from camera n's rays to camera n + 1's is a
// turn of about 360 / N degrees about the up direction (to the left, counter-clockwise seen
// from above). In a camera's sensor frame (x along the still's rows, y down its columns, z
// along the optical axis) the up direction tells how the camera is mounted:
//  - upright sensor: up is -y (roll 0); the standard rig's sensor turned a quarter: up is +x
//    (roll 90); turned the other way: up is -x (roll -90);
//  - tilt: the optical axis' angle above the ring's plane, asin(up_z) (negative looking down).
namespace ringcalib::rig {

struct RingLayout {
  std::vector<cv::Vec3d> up;       // per camera: the ring's up, unit, in its sensor frame
  std::vector<cv::Matx33d> turns;  // per pair n: camera n's rays to camera n + 1's, roughly

  int cameras() const { return static_cast<int>(up.size()); }
  double tiltDeg(int n) const;
  double rollDeg(int n) const;     // atan2(up_x, -up_y), degrees
  double spacingDeg(int n) const;  // the angle of turns[n]
};

// A level ring keeps its optical axes within this angle of the ring's plane.
inline constexpr double kLevelToleranceDeg = 15.0;

// The standard rig's layout: six cameras, each sensor turned a quarter as rig/ring.h states
// (roll within 45 degrees of 90) and level. Its poses are written in the prepared frames of
// rig/ring.h; every other layout's in the cameras' sensor frames.
bool isStandardLayout(const RingLayout& layout);

// The frame in which pair n's views are compared: it looks along the bisector of the two
// optical axes, its x runs along the ring's plane toward the second camera and its y down. A
// neighbour's baseline runs across the bisector of two outward-looking axes, so in this frame
// it lies along x and the epipolar lines of both views along the rows. `first` and `second`
// take the sensor-frame rays of cameras n and n + 1 into it.
struct PairFrame {
  cv::Matx33d first;
  cv::Matx33d second;
};
PairFrame pairFrame(const RingLayout& layout, int n);

}  // namespace ringcalib::rig
