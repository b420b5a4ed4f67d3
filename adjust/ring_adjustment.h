#pragma once

#include <string>
#include <vector>

#include "adjust/ring_input.h"
#include "rig/pair_pose.h"
#include "rig/ring.h"

// The ring adjustment: all camera poses and the scene points seen by the pairs, solved
// together (Ceres) from the pairs' correspondences and their poses as the start, so that the
// pair poses form one consistent ring.
//
// The unknowns are each camera's rotation and centre in camera 0's frame (the adjustment's
// frames, adjust/ring_input.h; camera 0 fixed, camera 1's centre at distance 1: the gauge) and
// each track's point. Each
// observation's error is the angle between its ray and the ray to its point, in units of one
// prepared-view pixel at the axis (1 / 550 rad), under a Cauchy loss; the intrinsics stay as
// the views were prepared with. Given the intrinsics' covariance (`lenses`: the board
// solves of the same run), a second solve refines each camera's intrinsics too, as far as
// the ring's overlaps know them better than the boards did (adjust/lens_prior.h), and the
// sigma carries what is left uncertain in them.
namespace ringcalib::adjust {

struct AdjustedPair {
  rig::PairPose pose;              // in the file's pose frames, as the pairwise poses
  double sigmaRotationDeg = 0.0;   // 1-sigma of the rotation's error angle
  double sigmaDirectionDeg = 0.0;  // 1-sigma of the translation direction's error angle
};

struct RingAdjustment {
  bool adjusted = false;
  std::string failure;  // why not, one phrase, when not adjusted
  int tracks = 0;
  int threeCameraTracks = 0;
  std::vector<AdjustedPair> pairs;
};

RingAdjustment adjustRing(const RingInput& ring, const UncertainLenses* lenses = nullptr);

}  // namespace ringcalib::adjust
