#pragma once

#include <vector>
#include <iostream>

#include <opencv2/core.hpp>

#include "rig/ring.h"

namespace ringcalib::extrinsic {

// The ring test: beyond rig::kClosureLimitDeg (0.5 degrees) at least one pair is plainly
// wrong, and its poses must not be stored as a calibration nor trusted in a check. `rotations`
// holds pair 0 ... N - 1 in ring order.
// Returns 0, or 9 after one line naming the closure and the suspect pair, the one whose
// rotation explains the largest share of it (rig::RingClosure::suspect). The suspect is a
// hint: an error about the ring's vertical axis gives about the same closure, axis
// included, whichever pair carries it.
int checkRingCloses(const std::vector<cv::Matx33d>& rotations,
                    std::ostream& out = std::cout);

}  // namespace ringcalib::extrinsic
