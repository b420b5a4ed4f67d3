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

// Draws a circular fisheye of `fieldDegrees` across its image circle for frames of width ×
// height pixels: the circle's diameter is 0.96 × the frame's shorter side (768 px at 1280 ×
// 800, 1152 at 1600 × 1200), its centre within 1 % of that side from the frame's centre, so
// that the whole circle lies inside the frame; fy within 0.3 % of fx; k1 … k4 drawn as above,
// their theta_d growing up to at least the field's edge, and fx such that the edge falls on the
// circle: fx = radius / theta_d(fieldDegrees / 2).
CameraTruth drawCircularCamera(std::uint64_t seed, int camera, int width, int height, double fieldDegrees);

}  // namespace ringcalib::synth
