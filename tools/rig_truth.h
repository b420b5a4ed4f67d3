#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "rig/fisheye_lens.h"
#include "rig/pair_pose.h"
#include "rig/ring.h"

namespace ringcalib::synth {

using rig::FisheyeLens;

// Fisheye model (cv::fisheye's equidistant model) of one camera at video resolution.
using CameraTruth = rig::FisheyeCamera;

// Relative pose of the pair (n, (n + 1) % N), X2 = R · (X1 − t), |t| = 1: for the standard
// layout in the calibration tool's convention (the prepared views' frames), for any other in
// the cameras' own sensor frames.
using PairTruth = rig::PairPose;

// The top-level member, of truth.json as of a parameter file, that says the poses are in the
// cameras' own frames: "pose_frame": "camera". Without it they are in the prepared views'.
constexpr const char* kPoseFrameMember = "pose_frame";
constexpr const char* kCameraPoseFrame = "camera";

// A rig's cameras and pairs; as declared, the standard rig's six.
struct RigTruth {
  std::vector<CameraTruth> cameras = std::vector<CameraTruth>(rig::kCameras);
  std::vector<PairTruth> pairs = std::vector<PairTruth>(rig::kCameras);
  bool posesInCameraFrames = false;  // the pairs in the sensor frames (truth.json's "pose_frame")
};

// The pose of each pair's frames themselves, same convention. In the prepared views' frames it
// differs from the truth above by about 0.1° because the poses take another principal point
// than the prepared views' true one (rig/ring.h); in the sensor frames it is the truth.
using GeometricPairs = std::vector<PairTruth>;

}  // namespace ringcalib::synth
