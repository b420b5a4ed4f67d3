#pragma once

#include <functional>
#include <vector>

#include <opencv2/core.hpp>

#include "rig/flow_field.h"
#include "rig/lens_covariance.h"
#include "rig/pair_pose.h"
#include "rig/ring.h"

// What the ring adjustment solves on, one entry per pair n = (n, n + 1 mod N): the pairwise
// pose as its start, the pair's correspondences as unit rays, and the pair's flow, which
// carries a point of camera n on into camera n + 1 and so links the pairs into tracks.
//
// The adjustment's frames are the geometric prepared frames for the standard rig (its poses
// are given and returned in the file's convention, rig/pair_pose.h), the sensor frames for
// every other layout (rig/ring.h).
namespace ringcalib::adjust {

struct PairInput {
  rig::PairPose pose;  // the pairwise pose, in the file's pose frames
  // The pair's correspondences that the pose was fitted to, in the flow's sample order: the
  // unit ray in the first camera, in the second, and the second's pixel where the next pair's
  // flow picks the point up (RingInput::intoNextFlow).
  std::vector<cv::Vec3d> firstRays;
  std::vector<cv::Vec3d> secondRays;
  std::vector<cv::Point2f> secondPixels;
  rig::FlowField flow;  // over the same correspondences
};

struct RingInput {
  std::vector<PairInput> pairs;
  rig::PoseFrame frame = rig::PoseFrame::kPrepared;
  // Pair n's secondPixels point as a pixel of pair n + 1's first warped view, where its flow
  // starts; and a pixel of pair n's second warped view, where its flow carried a point, as
  // the unit ray of camera n + 1.
  std::function<cv::Point2d(int pair, const cv::Point2f& secondPixel)> intoNextFlow;
  std::function<cv::Vec3d(int pair, const cv::Point2f& carried)> carriedRay;
};

// A camera's intrinsics as its board solve left them: K and D in pixels of its video frames
// and their covariance (rig/lens_covariance.h).
struct UncertainLens {
  cv::Matx33d K;
  cv::Vec4d D;
  rig::LensCovariance covariance;
};
using UncertainLenses = std::vector<UncertainLens>;
// What the board solves knew of each camera's intrinsics, as the information (the inverse of
// the covariance) in the units of the ring adjustment's normal equations.
using LensInformation = std::vector<rig::LensCovariance>;

}  // namespace ringcalib::adjust
