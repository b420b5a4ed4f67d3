#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "adjust/ring_input.h"
#include "rig/ring.h"

// The observations the ring adjustment solves on: points of the scene, each seen by two or
// three cameras as unit rays of the adjustment's frames (adjust/ring_input.h).
namespace ringcalib::adjust {

struct Observation {
  int camera = 0;
  cv::Vec3d ray;  // unit length
};

struct Track {
  std::vector<Observation> seen;  // in ring order, two or three cameras
};

// The pairs' correspondences (every `stride`-th) as tracks over the pair's two cameras; a
// correspondence whose point in camera n + 1 lies where pair n + 1's flow also ran is carried
// on by that flow into camera n + 2, which links the pairs into one ring.
std::vector<Track> ringTracks(const RingInput& pairs, int perPair);

}  // namespace ringcalib::adjust
