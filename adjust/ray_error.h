#pragma once

#include <ceres/rotation.h>
#include <opencv2/core.hpp>

#include "adjust/lens_rays.h"
#include "rig/prepared_view.h"

// One observation's error: the unit ray from the camera to its point minus the observed unit
// ray, whose length is the angle between them (2 sin(angle / 2)) and which, unlike the
// components across the ray alone, also tells a point behind the camera from one before it.
namespace ringcalib::adjust {

// Errors in units of one prepared-view pixel at the axis, so that the robust loss's scale
// reads as pixels.
constexpr double kRayErrorScale = rig::kViewFocal;

// rotation: angle-axis of world -> camera; centre: the camera's centre; point: the point.
template <typename T>
void rayResidual(const T* rotation, const T* centre, const T* point, const T* observed, T* residual) {
  const T offset[3] = {point[0] - centre[0], point[1] - centre[1], point[2] - centre[2]};
  T v[3];
  ceres::AngleAxisRotatePoint(rotation, offset, v);
  using std::sqrt;
  const T length = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  for (int k = 0; k < 3; ++k) residual[k] = kRayErrorScale * (v[k] / length - observed[k]);
}

struct RayError {
  explicit RayError(const cv::Vec3d& ray) : ray(ray) {}

  template <typename T>
  bool operator()(const T* rotation, const T* centre, const T* point, T* residual) const {
    const T observed[3] = {T(ray[0]), T(ray[1]), T(ray[2])};
    rayResidual(rotation, centre, point, observed, residual);
    return true;
  }

  cv::Vec3d ray;  // unit length
};

// The same error where the camera's intrinsics are solved for too, as a step dk from those
// the ray was read with: the observed ray moves to first order, ray + J dk (J from LensRays;
// a step of hundredths of a pixel leaves the second order at 1e-9 rad).
struct LensRayError {
  LensRayError(const cv::Vec3d& ray, const LensJacobian& J) : ray(ray), J(J) {}

  template <typename T>
  bool operator()(const T* rotation, const T* centre, const T* point, const T* step, T* residual) const {
    T observed[3];
    for (int r = 0; r < 3; ++r) {
      observed[r] = T(ray[r]);
      for (int k = 0; k < rig::kLensParameters; ++k) observed[r] += J(r, k) * step[k];
    }
    rayResidual(rotation, centre, point, observed, residual);
    return true;
  }

  cv::Vec3d ray;  // unit length
  LensJacobian J;
};

}  // namespace ringcalib::adjust
