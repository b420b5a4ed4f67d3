#pragma once

#include <cmath>

#include <opencv2/core.hpp>

#include "pose/cpose.h"

// The common camera of the extrinsic job: every still is undistorted to the same pinhole
// view, and each pair is turned toward each other about the vertical axis.
namespace ringcalib::extrinsic {

constexpr int kCameras = 6;
constexpr double kIntrinsicScale = 1.25;  // the stills are 1.25 x the video frames
constexpr int kUndistortedSize = 3600;    // square pinhole view, pixels
constexpr int kMinMatches = 100;          // fewest correspondences accepted for a pair

// Each view of a pair turns by this angle, from the same eleven-decimal pi as every other
// angle of the tool: its cosine and sine, not sqrt(3)/2 and 1/2, enter the warps.
constexpr double kPairAngle = 30 * CPose::PI / 180;

// The pinhole camera of every prepared view: f = 550 px, principal point (1800, 1800).
// Wide enough that a 30-degree turn keeps the central strip inside the fisheye circle.
inline cv::Mat targetCameraMatrix() {
  return (cv::Mat_<double>(3, 3) << 550.0, 0.0, 1800.0, 0.0, 550.0, 1800.0, 0.0, 0.0, 1.0);
}

// The rotation by the angle triple (0, kPairAngle, 0), about the camera y axis. A view
// warped with its transpose looks 30 degrees toward its +x side, one warped with it 30
// degrees toward -x: the first view of a pair takes the transpose, the second the matrix.
inline cv::Mat pairRotation() {
  const double c = std::cos(kPairAngle);
  const double s = std::sin(kPairAngle);
  return (cv::Mat_<double>(3, 3) << c, 0.0, -s, 0.0, 1.0, 0.0, s, 0.0, c);
}

// The columns of a warped view that the dense flow compares: the central strip, from
// 0.35 x width, 0.3 x width wide (both truncated), where the two turned views overlap.
inline cv::Range flowStripColumns(int width) {
  const int start = static_cast<int>(width * 0.35);
  return cv::Range(start, start + static_cast<int>(width * 0.3));
}

}  // namespace ringcalib::extrinsic
