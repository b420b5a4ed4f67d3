#pragma once

#include <vector>

#include "tools/ring_geometry.h"

namespace ringcalib::synth {

// One camera knocked since calibration: turned about its own centre by `degrees` (right-handed)
// about axis `axis` (0, 1, 2: x, y, z) of its prepared frame.
struct CameraTurn {
  int camera = 0;
  int axis = 0;
  double degrees = 0.0;
};

std::vector<RingCamera> turnedRing(std::vector<RingCamera> ring, const CameraTurn& turn);

}  // namespace ringcalib::synth
