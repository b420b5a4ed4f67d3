#pragma once

#include <opencv2/core.hpp>

#include "pose/cpose.h"

// The prepared view: the common pinhole view every still is undistorted to (rig/ring.h states
// its frame), and the warps that turn the two views of a pair toward each other.
namespace ringcalib::rig {

constexpr double kStillScale = 1.25;  // the stills are 1.25 x the video frames
constexpr int kViewSize = 3600;       // square pinhole view, pixels
constexpr double kViewFocal = 550.0;  // wide enough that a 30-degree turn keeps the central
                                      // strip inside the fisheye circle
constexpr double kViewCentre = 1800.0;  // the principal point the poses take, both axes
// The row of the true principal point after the quarter turn: column u goes to row 3599 - u.
constexpr double kTurnedCentreRow = kViewSize - 1 - kViewCentre;

// Each view of a pair turns by this angle, from the same eleven-decimal pi as every other
// angle of the tool: its cosine and sine, not sqrt(3)/2 and 1/2, enter the warps.
constexpr double kPairAngle = 30 * CPose::PI / 180;

// How far off the axis (radians) a prepared view reaches: to the middle of its sides,
// atan(1800 / 550), about 73 degrees.
double preparedViewReach();

// [550 0 1800; 0 550 1800; 0 0 1], the camera matrix of every prepared view.
cv::Matx33d targetCamera();

// The rotation by the angle triple (0, kPairAngle, 0), about the camera y axis,
// [c 0 -s; 0 1 0; s 0 c]. A view warped with its transpose looks 30 degrees toward its +x
// side, one warped with it 30 degrees toward -x: the first view of a pair takes the
// transpose, the second the matrix.
cv::Matx33d pairRotation();

// The quarter turn of the sensor frame: X_p = Q X_s (x_p = y_s, y_p = -x_s).
cv::Matx33d quarterTurn();

// The columns of a warped view that the dense flow compares: the central strip, from
// 0.35 x width, 0.3 x width wide (both truncated), where the two turned views overlap.
cv::Range flowStripColumns(int width);

// The homography K R K^-1 of a warp: warped pixel q shows prepared pixel H(q); applied to
// points it maps warped coordinates back to prepared ones.
cv::Point2d throughHomography(const cv::Matx33d& R, const cv::Point2d& q);

// Pixel <-> ray of the prepared frame, about the true principal point (1800, 1799): the ray
// (x, y, 1) of a pixel, and the pixel of a ray (false behind the camera, z <= 0).
cv::Vec3d preparedDirection(const cv::Point2d& pixel);
bool preparedPixel(const cv::Vec3d& ray, cv::Point2d& pixel);
// The unit ray of a prepared pixel, as the ring adjustment observes it.
cv::Vec3d preparedUnitRay(const cv::Point2f& pixel);

}  // namespace ringcalib::rig
