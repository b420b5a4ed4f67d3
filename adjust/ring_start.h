#pragma once

#include <array>

#include <opencv2/core.hpp>

#include "rig/pair_pose.h"
#include "rig/ring.h"

// Camera poses in one frame from the six pair poses, and back.
namespace ringcalib::adjust {

// World -> camera rotation and the camera's centre, X_camera = R (X_world - centre).
struct CameraPose {
  cv::Matx33d R;
  cv::Vec3d centre;
};

using RingPoses = std::array<CameraPose, rig::kCameras>;

// The ring from its six pair poses (one frame, geometric): camera 0 at the origin, each next
// camera's rotation chained through pairs 0 ... 4; the baselines' lengths the ones nearest 1
// whose six steps close into a loop, scaled so that camera 1 lies at distance 1. `lengths`
// gets the six baselines' lengths.
RingPoses ringFromPairs(const std::array<rig::PairPose, rig::kCameras>& pairs,
                        std::array<double, rig::kCameras>& lengths);

// Pair n's pose from the cameras n and n + 1 of a ring.
rig::PairPose pairOfRing(const RingPoses& ring, int n);

// Closest point to two rays (camera centres and world directions): false when the rays are
// nearly parallel or the point lies behind either camera.
bool triangulate(const cv::Vec3d& c1, const cv::Vec3d& d1, const cv::Vec3d& c2,
                 const cv::Vec3d& d2, cv::Vec3d& point);

}  // namespace ringcalib::adjust
