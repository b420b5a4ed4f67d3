#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace ringcalib::synth {

// The checkerboard: 10 × 13 squares of unit edge, so 9 × 12 inner corners. Board coordinates
// (bx, by) run over [0, 10] × [0, 13]; inner corner (x, y) sits at (x + 1, y + 1).
constexpr int kBoardSquaresX = 10;
constexpr int kBoardSquaresY = 13;
constexpr int kInnerCornersX = kBoardSquaresX - 1;
constexpr int kInnerCornersY = kBoardSquaresY - 1;

// Pose of the board in the camera frame (x right, y down, z along the optical axis), in units
// of one square: board point (bx, by) is at centre + (bx − 5) · axisX + (by − 6.5) · axisY
// for the written board of 10 × 13 squares, about the centre of `squares` in general.
struct BoardPose {
  cv::Vec3d centre;
  cv::Vec3d axisX;
  cv::Vec3d axisY;
  cv::Size squares{kBoardSquaresX, kBoardSquaresY};
  cv::Vec3d normal() const { return axisX.cross(axisY); }
  cv::Vec3d point(double bx, double by) const;
};

// How far off the axis the sweep takes the board's centre: for lenses whose frame crops the
// image circle 55° (the corners reach about 80°); for a circular fisheye of `fieldDegrees`
// across its circle 29° short of the rim, so that the corners come within a few degrees of the
// rim with the whole board still inside the circle, as one records for the rim (about 90° off
// the axis at 190°).
constexpr double kStandardSweepReachDegrees = 55.0;
double circularSweepReachDegrees(double fieldDegrees);

// The board's path in front of camera `camera`: frame f of `frameCount` lies at f / (frameCount − 1)
// along a smooth sweep that spirals the board's centre between the optical axis and
// `reachDegrees` off it, at 12 to 17 squares' distance, tilted up to 25° about two axes and
// rolled.
BoardPose boardPoseAt(std::uint64_t seed, int camera, int frame, int frameCount,
                      double reachDegrees = kStandardSweepReachDegrees);

// Whether the board is out of the camera's view at frame f of `frameCount` when it stays away
// for `absentFraction` (0 to 1) of the frames: round(absentFraction · frameCount) frames, in
// up to three stretches, one at the very start, one in the middle of the frames between, one
// at the very end (the first and the last take the larger shares).
bool boardAbsentAt(int frame, int frameCount, double absentFraction);

// The inner corners (108 on the written board) in the camera frame, row by row (x fastest),
// the order in which a corner search lists them.
std::vector<cv::Vec3d> innerCorners(const BoardPose& pose);

}  // namespace ringcalib::synth
