#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "report/still_lookup.h"
#include "rig/pair_pose.h"
#include "rig/ring.h"

// A pair's two stills in one epipolar frame of its pose. The frame's x is the baseline t;
// its z the mean of the two cameras' axes, made perpendicular to t; y = z x x (down, since
// camera n + 1 stands to the right of camera n, however the sensors are mounted). A ray e of
// that frame has the row angle atan2(e_y, e_z), the angle of its epipolar plane about the
// baseline, and the column angle asin(e_x) from the plane normal to the baseline. A scene
// point lies in one epipolar plane seen from either camera, so it has the same row angle in
// both views at any depth; the angular mapping keeps rays past 90 degrees off a camera's axis.
namespace ringcalib::report {

// Picture of one camera: column angles -90 ... 90 degrees, row angles -100 ... 100 degrees,
// kRectifiedPixelsPerDegree pixels per degree; a guide line every kGuideStepDeg degrees.
inline constexpr int kRectifiedPixelsPerDegree = 5;
inline constexpr double kRectifiedHalfWidthDeg = 90.0;
inline constexpr double kRectifiedHalfHeightDeg = 100.0;
inline constexpr double kGuideStepDeg = 10.0;

// Rotations that take pose-frame rays of the pair's first and second camera to the
// epipolar frame.
struct EpipolarFrame {
  cv::Matx33d first;
  cv::Matx33d second;
};

EpipolarFrame epipolarFrame(const rig::PairPose& pose);

// The absolute differences of the correspondences' row angles, degrees; rays1 and rays2 are
// rays (any length) of the first and the second camera's pose frames. Values that are not
// finite (a pose of no use) are left out, so that the percentiles stay defined.
std::vector<double> verticalDisparitiesDeg(const rig::PairPose& pose, const std::vector<cv::Vec3d>& rays1,
                                           const std::vector<cv::Vec3d>& rays2);

// The two views side by side (first left, a gap between them) in BGR, with the guide lines;
// `frame` is the frame the pose is given in.
cv::Mat rectifyPair(const StillCamera& first, const StillCamera& second, const rig::PairPose& pose,
                    rig::PoseFrame frame);

}  // namespace ringcalib::report
