#pragma once

#include <ceres/rotation.h>
#include <opencv2/core.hpp>

#include "rig/prepared_view.h"

// One observation's error: the unit ray from the camera to its point minus the observed unit
// ray, whose length is the angle between them (2 sin(angle / 2)) and which, unlike the
// components across the ray alone, also tells a point behind the camera from one before it.
namespace ringcalib::adjust {

// Errors in units of one prepared-view pixel at the axis, so that the robust loss's scale
// reads as pixels.
constexpr double kRayErrorScale = rig::kViewFocal;

struct RayError {
  explicit RayError(const cv::Vec3d& ray) : ray(ray) {}

  // rotation: angle-axis of world -> camera; centre: the camera's centre; point: the point.
  template <typename T>
  bool operator()(const T* rotation, const T* centre, const T* point, T* residual) const {
    const T offset[3] = {point[0] - centre[0], point[1] - centre[1], point[2] - centre[2]};
    T v[3];
    ceres::AngleAxisRotatePoint(rotation, offset, v);
    using std::sqrt;
    const T length = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int k = 0; k < 3; ++k) residual[k] = kRayErrorScale * (v[k] / length - ray[k]);
    return true;
  }

  cv::Vec3d ray;  // unit length
};

}  // namespace ringcalib::adjust
