#include <array>
#include <cmath>

#include "pose/cpose.h"

namespace {

// The matrix of the angle triple, Rz(z) * Ry(y) * Rx(x) transposed.
cv::Matx33d matrixOfAngles(double x, double y, double z) {
  const double sx = std::sin(x), cx = std::cos(x);
  const double sy = std::sin(y), cy = std::cos(y);
  const double sz = std::sin(z), cz = std::cos(z);
  return cv::Matx33d(cy * cz, cy * sz, -sy,
                     sx * sy * cz - cx * sz, sx * sy * sz + cx * cz, sx * cy,
                     cx * sy * cz + sx * sz, cx * sy * sz - sx * cz, cx * cy);
}

}  // namespace

void CPose::eulerToRotation(double x, double y, double z, cv::Mat& R) const {
  R.create(3, 3, CV_64F);  // keeps an existing 3x3 double matrix (or view) in place
  const cv::Matx33d M = matrixOfAngles(x, y, z);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) R.at<double>(i, j) = M(i, j);
}

double CPose::errorR(const cv::Mat& R, double x, double y, double z) const {
  const cv::Matx33d given = R;
  const cv::Matx33d M = matrixOfAngles(x, y, z);
  double error = 0.0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) error += std::abs(given(i, j) - M(i, j));
  return error;
}

void CPose::rotationToEuler(cv::Mat R, double& x, double& y, double& z) const {
  const cv::Matx33d M = R;
  // The one-argument arctangent loses the quadrant; the alternatives below restore it only
  // where the result would still lie inside (-HALF_PI, HALF_PI).
  y = -std::asin(M(0, 2));
  z = std::atan(M(0, 1) / M(0, 0));
  x = std::atan(M(1, 2) / M(2, 2));
  const double x1 = x + PI, y1 = PI - y, z1 = z + PI;

  const std::array<cv::Vec3d, 8> candidates = {
      cv::Vec3d(x, y, z),  cv::Vec3d(x, y, z1),  cv::Vec3d(x, y1, z),  cv::Vec3d(x, y1, z1),
      cv::Vec3d(x1, y, z), cv::Vec3d(x1, y, z1), cv::Vec3d(x1, y1, z), cv::Vec3d(x1, y1, z1)};
  std::array<double, 8> errors;
  for (size_t k = 0; k < candidates.size(); ++k)
    errors[k] = errorR(R, candidates[k][0], candidates[k][1], candidates[k][2]);

  // The first candidate is taken without a range test; NaN errors never replace it.
  size_t best = 0;
  for (size_t k = 1; k < candidates.size(); ++k) {
    const cv::Vec3d& c = candidates[k];
    const bool inRange =
        std::abs(c[0]) < HALF_PI && std::abs(c[1]) < HALF_PI && std::abs(c[2]) < HALF_PI;
    if (errors[k] < errors[best] && inRange) best = k;
  }
  x = candidates[best][0];
  y = candidates[best][1];
  z = candidates[best][2];
}
