#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "rig/ring.h"

// The pair poses' 1-sigma uncertainty from the covariance of the camera parameters.
namespace ringcalib::adjust {

// The parameters of cameras 1 ... N - 1 (camera 0 holds the gauge): each rotation's
// angle-axis, then each centre; 6 (N - 1) values in that order, the rows and columns of the
// covariance.
struct RingParameters {
  std::vector<cv::Vec3d> rotations;  // angle-axis, world -> camera
  std::vector<cv::Vec3d> centres;

  int cameras() const { return static_cast<int>(rotations.size()); }
  int freeParameters() const { return 6 * (cameras() - 1); }
};

struct PairSigma {
  double rotationDeg = 0.0;
  double directionDeg = 0.0;
};

// First-order propagation (numeric Jacobian) of `covariance` (ring.freeParameters() square,
// CV_64F) to each pair's rotation and translation direction: the root of the trace of each,
// in degrees.
std::vector<PairSigma> pairSigmas(const RingParameters& ring, const cv::Mat& covariance);

}  // namespace ringcalib::adjust
