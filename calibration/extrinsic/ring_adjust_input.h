#pragma once

#include <array>

#include "adjust/ring_input.h"
#include "calibration/extrinsic/pair_steps.h"
#include "rig/ring.h"

namespace ringcalib::extrinsic {

// The ring adjustment's input from six solved pairs (matched, fitted, posed), pair n =
// (n, n + 1 mod 6): RANSAC's inliers that their re-measurement kept (match_refinement.h), as
// unit rays and as the flow that carries them on.
// Throws std::invalid_argument, naming the pair, when a pair's inlier mask or flow samples
// do not match its correspondences.
adjust::RingInput ringAdjustInput(const std::array<const PairSolution*, rig::kCameras>& pairs);

}  // namespace ringcalib::extrinsic
