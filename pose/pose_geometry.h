#pragma once

#include <opencv2/core.hpp>

// Small geometric helpers shared by the pose operations.
namespace ringcalib {

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

}  // namespace ringcalib
