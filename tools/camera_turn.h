#pragma once

#include <array>

#include "tools/ring_geometry.h"

namespace ringcalib::synth {

// One camera knocked since calibration: turned about its own centre by `degrees` (right-handed)
// about axis `axis` (0, 1, 2: x, y, z) of its prepared frame.
struct CameraTurn {
  int camera = 0;
  int axis = 0;
  double degrees = 0.0;
};

std::array<RingCamera, rig::kCameras> turnedRing(std::array<RingCamera, rig::kCameras> ring, const CameraTurn& turn);

}  // namespace ringcalib::synth
