#pragma once

#include <vector>

#include <ceres/problem.h>

#include "adjust/lens_rays.h"
#include "adjust/ring_uncertainty.h"

// The covariance of the free camera parameters after the solve, the points eliminated track
// by track (the Schur complement of the normal equations, with the loss as the solve applied
// it). A point whose own block is singular (rays nearly parallel, an observation the loss
// has all but dropped) gives the cameras nothing along that direction and is inverted only
// where it is held, so no point can make the cameras' covariance singular.
namespace ringcalib::adjust {

// One observation's residual block, its camera and its observed ray.
struct ObservationBlock {
  ceres::ResidualBlockId id;
  int camera;
  cv::Vec3d ray;
};
using TrackBlocks = std::vector<ObservationBlock>;

// The intrinsics of the six cameras, solved for with the poses (a step from those the rays
// were read with) under what the board solves knew of them: `information` is that knowledge
// in the units of the observations' normal equations.
struct LensTerms {
  std::vector<LensRays> rays;  // one per camera
  std::array<LensCovariance, rig::kCameras> information;
};

using CameraMatrix = cv::Matx<double, kFreeParameters, kFreeParameters>;

// `ring` holds the solved parameters the problem's blocks point into (camera 0 constant,
// camera 1's centre on the unit sphere). `covariance` is the cameras' covariance over the
// observations' variance; with `lenses`, the intrinsics solved for with them are eliminated
// too, and what the boards left uncertain in them is part of it. Returns false when a camera
// is truly left unconstrained; the output is then unset.
bool cameraCovariance(const ceres::Problem& problem, const std::vector<TrackBlocks>& tracks,
                      const RingParameters& ring, const LensTerms* lenses, CameraMatrix& covariance);

}  // namespace ringcalib::adjust
