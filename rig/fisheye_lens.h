#pragma once

#include <opencv2/core.hpp>

#include "rig/prepared_view.h"

namespace ringcalib::rig {

// The size of the video frames of a camera whose parameters do not state it.
inline const cv::Size kStandardFrameSize(3200, 2400);

// A fisheye camera: K (fx, 0, cx; 0, fy, cy; 0, 0, 1) and D (k1 ... k4) of the equidistant
// model below, in pixels of the camera's video frames, which are `frameSize`.
struct FisheyeCamera {
  cv::Matx33d K;
  cv::Vec4d D;
  cv::Size frameSize = kStandardFrameSize;

  // The scale of a still of `still` pixels over the video frames, from the widths (4000 x
  // 3000 over 3200 x 2400: 1.25), or 0 when the still is not the frames' picture scaled:
  // its height differs by more than a pixel from the frames' aspect (a crop).
  double stillScale(cv::Size still) const;

  // The same lens in pixels of a still `scale` x the video frames (kStillScale: the
  // standard rig's): fx, fy, cx and cy scaled, D as it is.
  FisheyeCamera scaledToStill(double scale = kStillScale) const;
};


// The equidistant fisheye model of cv::fisheye, without skew:
//   a = x / z, b = y / z, r = sqrt(a² + b²), theta = atan(r),
//   theta_d = theta (1 + k1 theta² + k2 theta⁴ + k3 theta⁶ + k4 theta⁸),
//   u = fx · theta_d · a / r + cx,   v = fy · theta_d · b / r + cy.
// theta is taken as atan2(r, z) so that rays beyond 90° (z < 0) stay valid inside the lens'
// field of view; for z > 0 this is the library's formula.
class FisheyeLens {
 public:
  FisheyeLens(const cv::Matx33d& K, const cv::Vec4d& D);
  explicit FisheyeLens(const FisheyeCamera& camera) : FisheyeLens(camera.K, camera.D) {}

  // Pixel of the direction `ray` (any length, not zero).
  cv::Point2d project(const cv::Vec3d& ray) const;

  // Unit ray seen by pixel (u, v), or false when the pixel lies outside the lens' image circle
  // (theta_d beyond the largest value that the model reaches monotonically, up to maxTheta()).
  bool unproject(double u, double v, cv::Vec3d& ray) const;

  // theta_d(theta) and its inverse on [0, maxTheta()] (Newton's method).
  double distortTheta(double theta) const;
  double undistortTheta(double thetaD) const;

  // The largest angle off the axis (radians) that a model is asked to image: 100°.
  static constexpr double kDomain = 100.0 * CV_PI / 180.0;

  // Largest angle off the axis (radians) that the lens images: the first zero of
  // d theta_d / d theta, capped at kDomain.
  double maxTheta() const { return maxTheta_; }

  const cv::Matx33d& K() const { return K_; }
  const cv::Vec4d& D() const { return D_; }

 private:
  cv::Matx33d K_;
  cv::Vec4d D_;
  double maxTheta_ = 0.0;
  double maxThetaD_ = 0.0;
};

}  // namespace ringcalib::rig
