#pragma once

#include "adjust/ring_input.h"
#include "calibration/extrinsic/pair_steps.h"

namespace ringcalib::extrinsic {

// The ring adjustment's input from the ring's solved pairs, pair n = (n, n + 1 mod N), whose
// poses are given in `frame`: RANSAC's inliers that their re-measurement kept
// (match_refinement.h), as unit rays and as the flow that carries them on.
// Throws std::invalid_argument, naming the pair, when a pair is not solved or its inlier
// mask or flow samples do not match its correspondences.
adjust::RingInput ringAdjustInput(const RingPairs& pairs, rig::PoseFrame frame);

}  // namespace ringcalib::extrinsic
