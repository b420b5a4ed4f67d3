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

// The intrinsics of the six cameras, held fixed by the solve, with their covariance.
struct LensTerms {
  std::vector<LensRays> rays;  // one per camera
  std::array<LensCovariance, rig::kCameras> covariance;
};

using CameraMatrix = cv::Matx<double, kFreeParameters, kFreeParameters>;

// `ring` holds the solved parameters the problem's blocks point into (camera 0 constant,
// camera 1's centre on the unit sphere). `covariance` is the observations' share over their
// variance; `lensShare` what the intrinsics' errors add (zero when `lenses` is null): the
// solve holds them fixed, so their error moves the cameras, to first order, by what the
// observed rays move with them. Returns false when a camera is truly left unconstrained;
// the outputs are then unset.
bool cameraCovariance(const ceres::Problem& problem, const std::vector<TrackBlocks>& tracks,
                      const RingParameters& ring, const LensTerms* lenses,
                      CameraMatrix& covariance, CameraMatrix& lensShare);

}  // namespace ringcalib::adjust
