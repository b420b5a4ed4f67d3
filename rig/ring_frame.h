#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "rig/pair_pose.h"
#include "rig/ring.h"

// The ring's frame: each camera's pose frame against its sensor frame, the cameras'
// orientations chained from the pair rotations, the ring's plane and the panorama's frame
// on it. The report's pictures, the ring adjustment's start and the export share these.
//
// The world is camera 0's pose frame. O_n maps a world ray to camera n's pose frame
// (O_0 = I). Chained from the pair rotations, O_{n+1} = R_n O_n, and O_N = R_{N-1} ... R_0 is
// the ring closure C, which a perfect calibration makes the identity.
namespace ringcalib::rig {

// The rotation that takes a ray of a camera's pose frame to its sensor frame. The standard
// rig's pose frame is the prepared frame turned by atan(1 / 550) about x (the poses take
// (1800, 1800) as the principal point, the prepared view's true one is (1800, 1799)): the pose
// frame's axis is the prepared ray (0, 1 / 550, 1). The prepared frame is the sensor frame
// turned a quarter turn (quarterTurn). Camera frames are the sensor frames.
cv::Matx33d poseFrameToSensor(PoseFrame frame);

// A pair's pose given in the pose frames `from`, in the pose frames `to`.
PairPose inPoseFrames(const PairPose& pose, PoseFrame from, PoseFrame to);

// The pose-frame ray (x, y, 1) of a prepared-view pixel as the standard rig's poses take it.
cv::Vec3d poseFrameRay(const cv::Point2f& pixel);

// One rotation per camera, or per pair, in ring order.
using RingRotations = std::vector<cv::Matx33d>;

// The pair rotations R_0 ... R_{N-1} of the pair poses.
RingRotations rotationsOf(const std::vector<PairPose>& pairs);

// O_0 ... O_{N-1} chained from `pairRotations` (R_0 ... R_{N-1}), and the closure O_N.
struct RingChain {
  RingRotations orientations;
  cv::Matx33d closure;
};
RingChain chainRing(const RingRotations& pairRotations);

// The orientations with the closure spread evenly: with C = exp([w]),
// O'_n = O_n exp(-[w] n / N), so that O'_N = I and each pair's rotation is corrected by the
// same angle |w| / N.
RingRotations composeRing(const RingRotations& pairRotations);

// The normal of the plane that the cameras' optical axes (world rays) span, by least
// squares: the direction they spread least along. Its sign is the solver's.
cv::Vec3d ringPlaneNormal(const std::vector<cv::Vec3d>& axes);

// The ring's up as a world ray from orientations that close the ring (composeRing): each
// camera is turned from the one before it about the ring's up (rig/ring_layout.h), so up is
// the mean axis of the turns O_{n+1} O_n^T. Unlike the axes' plane it holds however far the
// cameras look up or down.
cv::Vec3d ringUp(const RingRotations& orientations);

// The panorama's frame as the columns of a world rotation B (world ray = B · panorama ray):
// right, down, forward. Down is the ring's: for the standard rig's pose frames the normal of
// the axes' plane on the side of camera 0's image down, for camera frames -ringUp; forward is
// camera 0's axis in the ring's plane.
cv::Matx33d panoramaFrame(const RingRotations& orientations, PoseFrame frame);

// Per camera, the rotation that takes a panorama ray to its sensor frame.
RingRotations panoramaToSensor(const RingRotations& orientations, PoseFrame frame);

// The equirectangular panorama of the ring, in the report and in a Hugin project: 360 by
// 180 degrees.
inline constexpr int kPanoramaWidth = 4096;
inline constexpr int kPanoramaHeight = 2048;

}  // namespace ringcalib::rig
