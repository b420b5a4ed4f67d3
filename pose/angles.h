#pragma once

#include <opencv2/core.hpp>

// Angle units and the rotation-vector form of a rotation, for every module that needs them.
namespace ringcalib {

inline constexpr double kDegreesPerRadian = 180.0 / CV_PI;
inline constexpr double kRadiansPerDegree = CV_PI / 180.0;

// Radians to degrees as (radians * 180) / pi, the order in which the stored, printed and
// exported angles have always been computed: radians * kDegreesPerRadian differs from it in
// the last bit for about a quarter of all values.
inline double degreesFromRadians(double radians) { return radians * 180.0 / CV_PI; }

// The rotation vector (axis times angle in radians) of a rotation matrix, and back.
cv::Vec3d rotationVector(const cv::Matx33d& R);
cv::Matx33d rotationMatrix(const cv::Vec3d& rotation);

// The rotationToEuler angles of R (pose/cpose.h) in degrees, converted with CPose::PI as
// the pairs' printed angles always were.
cv::Vec3d eulerAnglesDeg(const cv::Mat& R);

}  // namespace ringcalib
