#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>

#include "rig/flow_field.h"
#include "rig/lens_covariance.h"
#include "rig/pair_pose.h"
#include "rig/ring.h"

// What the ring adjustment solves on, one entry per pair n = (n, n + 1 mod 6): the pairwise
// pose as its start, the pair's correspondences as unit rays, and the pair's flow, which
// carries a point of camera n on into camera n + 1 and so links the pairs into tracks.
namespace ringcalib::adjust {

struct PairInput {
  rig::PairPose pose;  // the pairwise pose, in the file's convention
  // The pair's correspondences that the pose was fitted to, in the flow's sample order: the
  // unit ray in the first camera, in the second, and the second's prepared pixel, where the
  // next pair's flow picks the point up (geometric prepared frames, rig/ring.h).
  std::vector<cv::Vec3d> firstRays;
  std::vector<cv::Vec3d> secondRays;
  std::vector<cv::Point2f> secondPixels;
  rig::FlowField flow;  // over the same correspondences
};

using RingInput = std::array<PairInput, rig::kCameras>;

// A camera's intrinsics as its board solve left them: K and D in pixels of its video frames
// and their covariance (rig/lens_covariance.h).
struct UncertainLens {
  cv::Matx33d K;
  cv::Vec4d D;
  rig::LensCovariance covariance;
};
using UncertainLenses = std::array<UncertainLens, rig::kCameras>;
// What the board solves knew of each camera's intrinsics, as the information (the inverse of
// the covariance) in the units of the ring adjustment's normal equations.
using LensInformation = std::array<rig::LensCovariance, rig::kCameras>;

}  // namespace ringcalib::adjust
