#pragma once

#include <cstdint>

#include "tools/rig_truth.h"

namespace ringcalib::synth {

// Draws camera `camera`'s fisheye model from the seed, for frames of width × height pixels.
// At 3200 × 2400: fx in [800, 850], fy within 0.3 % of fx, principal point within 25 px of the
// centre, and k1 … k4 of a lens between the equidistant and the equisolid design whose
// theta_d keeps growing up to at least 97° off the axis (a field of view of about 190°).
// All values scale with the frame size (x with the width, y with the height). `focalScale`
// multiplies fx and fy (a longer lens above 1) and leaves the rest of the draw as it is.
CameraTruth drawCamera(std::uint64_t seed, int camera, int width, int height, double focalScale = 1.0);

}  // namespace ringcalib::synth
