#pragma once

#include <cmath>

#include <opencv2/core.hpp>

// Small geometric helpers shared by the pose operations.
namespace ringcalib {

// `v` scaled to unit length by the reciprocal of its norm.
inline cv::Vec3d unitVector(const cv::Vec3d& v) { return v * (1.0 / cv::norm(v)); }

// The back-projection part of a camera matrix. The skew K(0,1) plays no part in it.
struct PinholeCamera {
  explicit PinholeCamera(const cv::Mat& K) {
    const cv::Matx33d k = K;
    fx = k(0, 0);
    fy = k(1, 1);
    cx = k(0, 2);
    cy = k(1, 2);
  }

  // Normalised image ray ((u - cx) / fx, (v - cy) / fy, 1), in double from float pixels.
  cv::Vec3d ray(const cv::Point2f& pixel) const {
    return cv::Vec3d((pixel.x - cx) / fx, (pixel.y - cy) / fy, 1.0);
  }

  double fx, fy, cx, cy;
};

// t of the skew matrix [t]x = (0, -t3, t2; t3, 0, -t1; -t2, t1, 0).
inline cv::Vec3d translationOfSkew(const cv::Matx33d& skew) {
  return cv::Vec3d(-skew(1, 2), skew(0, 2), -skew(0, 1));
}

// The two normalised rays of a correspondence and |p2|^2, which depend on the pixels only:
// a refinement computes them once and triangulates from them in every iteration.
struct RayPair {
  RayPair(const PinholeCamera& camera, const cv::Point2f& pixel1, const cv::Point2f& pixel2)
      : first(camera.ray(pixel1)), second(camera.ray(pixel2)), secondSquared(second.dot(second)) {}

  cv::Vec3d first, second;
  double secondSquared;
};

// The point on the first ray s * p1 that comes closest to the second ray, in first-camera
// coordinates, for X2 = R (X1 - t) and c = R t. In second-camera coordinates the first ray
// is s * q - c with q = R p1; s is the least-squares solution of s * q - c = s2 * p2. A
// denominator |D| < 1e-10 (parallel rays) becomes +1e-10: a far but finite point. s and
// the coordinates are rounded to float, as the points are stored.
inline cv::Point3f triangulateOnFirstRay(const cv::Matx33d& R, const cv::Vec3d& c,
                                         const RayPair& rays) {
  const cv::Vec3d& p1 = rays.first;
  const cv::Vec3d& p2 = rays.second;
  const cv::Vec3d q = R * p1;
  const double p2p2 = rays.secondSquared;
  const double p2q = p2.dot(q);
  double D = p2p2 * q.dot(q) - p2q * p2q;
  if (std::abs(D) < 1e-10) D = 1e-10;
  const float s = static_cast<float>((q.dot(c) * p2p2 - p2q * p2.dot(c)) / D);
  return cv::Point3f(static_cast<float>(p1[0] * s), static_cast<float>(p1[1] * s), s);
}

}  // namespace ringcalib
