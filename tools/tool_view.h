#pragma once

#include <opencv2/core.hpp>

namespace ringcalib::synth {

// The calibration tool's view of a ring image, restated here so that the truth is expressed
// in the tool's pixels: stills are undistorted with K scaled by 1.25 to a 3600 × 3600 pinhole
// view (focal 550, centre 1800), turned a quarter turn counter-clockwise, and each pair is
// warped 30° toward each other before the dense flow runs on the central 30 % of the columns.
namespace tool_view {

constexpr double kStillScale = 1.25;
constexpr int kViewSize = 3600;
constexpr double kFocal = 550.0;
constexpr double kCentre = 1800.0;
// The eleven-decimal PI the tool builds the pair rotation from.
constexpr double kToolPi = 3.14159265358;
// Columns of the flow strip: start = trunc(0.35 · 3600), width = trunc(0.3 · 3600).
constexpr int kStripStart = 1260;
constexpr int kStripWidth = 1080;

// [550 0 1800; 0 550 1800; 0 0 1], the matrix the tool assumes for every prepared view.
cv::Matx33d cameraMatrix();

// P: 30° about the camera's y axis with the tool's PI, [c 0 −s; 0 1 0; s 0 c]. View i of a
// pair is warped with Pᵀ (so it turns toward its +x side), view j with P.
cv::Matx33d pairRotation();

// The homography K · R · K⁻¹ that the tool's warp samples with: warped pixel q shows prepared
// pixel H(q); applied to points it maps warped coordinates back to prepared ones.
cv::Point2d throughHomography(const cv::Matx33d& R, const cv::Point2d& q);

}  // namespace tool_view
}  // namespace ringcalib::synth
