#pragma once

#include <array>

#include <opencv2/core.hpp>

#include "rig/fisheye_lens.h"
#include "rig/pair_pose.h"
#include "rig/ring.h"

namespace ringcalib::synth {

using rig::FisheyeLens;

// Fisheye model (cv::fisheye's equidistant model) of one camera at video resolution.
using CameraTruth = rig::FisheyeCamera;

// Relative pose of the pair (n, (n + 1) % 6) in the calibration tool's convention: prepared
// views' frames, X2 = R · (X1 − t), |t| = 1.
using PairTruth = rig::PairPose;

struct RigTruth {
  std::array<CameraTruth, rig::kCameras> cameras;
  std::array<PairTruth, rig::kCameras> pairs;
};

// The pose of each pair's prepared frames themselves, same convention. It differs from the
// truth above by about 0.1° because the poses take another principal point than the prepared
// views' true one (rig/ring.h).
using GeometricPairs = std::array<PairTruth, rig::kCameras>;

}  // namespace ringcalib::synth
