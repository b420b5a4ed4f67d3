#pragma once

#include <vector>

#include <ceres/problem.h>

#include "adjust/ring_input.h"
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

// A residual block on the centres of three cameras alone (adjust/ring_shape.h).
struct ShapeBlock {
  ceres::ResidualBlockId id;
  int cameras[3];
};


// `ring` holds the solved parameters the problem's blocks point into (camera 0 constant,
// camera 1's centre on the unit sphere). `covariance` (ring.freeParameters() square, CV_64F)
// is the cameras' covariance over the
// observations' variance; with `lenses` (the prior's information), the intrinsics solved for
// with them (each observation's fourth parameter block, where it has one) are eliminated too,
// and what the boards left uncertain in them is part of it. Returns false when a camera
// is truly left unconstrained; the output is then unset.
// `shapes`: blocks on the centres alone, whose information adds to the cameras' as it is.
bool cameraCovariance(const ceres::Problem& problem, const std::vector<TrackBlocks>& tracks,
                      const std::vector<ShapeBlock>& shapes, const RingParameters& ring,
                      const LensInformation* lenses, cv::Mat& covariance);

}  // namespace ringcalib::adjust
