#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "rig/pair_pose.h"
#include "rig/ring.h"

// Camera poses in one frame from the ring's pair poses, and back.
namespace ringcalib::adjust {

// World -> camera rotation and the camera's centre, X_camera = R (X_world - centre).
struct CameraPose {
  cv::Matx33d R;
  cv::Vec3d centre;
};

using RingPoses = std::vector<CameraPose>;

// The ring's start from what the pairs give robustly: camera 0 at the origin, each next
// camera's rotation chained through pairs 0 ... N - 2, and the centres on one circle in one plane,
// each at its own optical axis' bearing (the cameras look outward from the ring), scaled so
// that camera 1 lies at distance 1. The pairs' baselines are not used: on a small ring they
// are the part that is wrong by degrees; the tracks over three cameras fix the true ones.
// `frame`: the pairs' frames (adjust/ring_input.h), which tell how the ring's plane is found.
RingPoses ringFromPairs(const std::vector<rig::PairPose>& pairs, rig::PoseFrame frame);

// Pair n's pose from the cameras n and n + 1 of a ring.
rig::PairPose pairOfRing(const RingPoses& ring, int n);

// Closest point to two rays (camera centres and world directions): false when the rays are
// nearly parallel or the point lies behind either camera.
bool triangulate(const cv::Vec3d& c1, const cv::Vec3d& d1, const cv::Vec3d& c2,
                 const cv::Vec3d& d2, cv::Vec3d& point);

}  // namespace ringcalib::adjust
