#pragma once

#include <array>

#include <opencv2/core.hpp>

#include "rig/ring.h"

// The pair poses' 1-sigma uncertainty from the covariance of the camera parameters.
namespace ringcalib::adjust {

// The parameters of cameras 1 ... 5 (camera 0 holds the gauge): each rotation's angle-axis,
// then each centre; 30 values in that order, the rows and columns of the covariance.
struct RingParameters {
  std::array<cv::Vec3d, rig::kCameras> rotations;  // angle-axis, world -> camera
  std::array<cv::Vec3d, rig::kCameras> centres;
};
constexpr int kFreeParameters = 6 * (rig::kCameras - 1);

struct PairSigma {
  double rotationDeg = 0.0;
  double directionDeg = 0.0;
};

// First-order propagation (numeric Jacobian) of `covariance` to each pair's rotation and
// translation direction: the root of the trace of each, in degrees.
std::array<PairSigma, rig::kCameras> pairSigmas(const RingParameters& ring,
                                                const cv::Matx<double, kFreeParameters, kFreeParameters>& covariance);

}  // namespace ringcalib::adjust
