#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "adjust/ring_input.h"
#include "rig/fisheye_lens.h"
#include "rig/ring.h"

// How a camera's observed rays move with its intrinsics, to first order: a ray of the
// adjustment's frame (adjust/ring_input.h) was seen at the pixel x = project(ray; k) of the
// still, and the intrinsics k + dk would have turned that pixel into the ray
// unproject(x; k + dk).
namespace ringcalib::adjust {

using LensJacobian = cv::Matx<double, 3, rig::kLensParameters>;

class LensRays {
 public:
  // `frame`: the adjustment's frames, the geometric prepared frames (kPrepared) or the sensor
  // frames (kCamera).
  LensRays(const UncertainLens& lens, rig::PoseFrame frame);

  // d ray / d (fx, fy, cx, cy, k1 ... k4) of the unit ray `ray` of the adjustment's frame
  // (central differences). False when the ray lies outside the lens' image circle.
  bool jacobian(const cv::Vec3d& ray, LensJacobian& J) const;

 private:
  rig::FisheyeLens lens_;
  cv::Matx33d toFrame_;  // sensor frame -> the adjustment's
  std::vector<rig::FisheyeLens> moved_;  // each parameter less, then more, its step
};

}  // namespace ringcalib::adjust
