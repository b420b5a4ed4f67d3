#pragma once

#include <array>
#include <cmath>
#include <random>

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>

// Pair rotations of a synthetic ring of six cameras, built from exact world orientations.
namespace ringcalib::test {

inline constexpr double kDeg = CV_PI / 180.0;

// The matrix of the angle triple (x, y, z) in the tool's convention: the transpose of
// Rz(z) Ry(y) Rx(x).
inline cv::Matx33d matrixOfTriple(double x, double y, double z) {
  const cv::Matx33d Rx(1, 0, 0, 0, std::cos(x), -std::sin(x), 0, std::sin(x), std::cos(x));
  const cv::Matx33d Ry(std::cos(y), 0, std::sin(y), 0, 1, 0, -std::sin(y), 0, std::cos(y));
  const cv::Matx33d Rz(std::cos(z), -std::sin(z), 0, std::sin(z), std::cos(z), 0, 0, 0, 1);
  return (Rz * Ry * Rx).t();
}

// A rotation by `angleDeg` about a random axis.
inline cv::Matx33d randomRotation(std::mt19937& random, double angleDeg) {
  std::normal_distribution<double> normal;
  cv::Vec3d axis(normal(random), normal(random), normal(random));
  axis *= angleDeg * kDeg / cv::norm(axis);
  cv::Matx33d R;
  cv::Rodrigues(axis, R);
  return R;
}

// Camera n looks out of the ring at yaw 60 n degrees, with its own small mounting
// rotation of `mountingDeg`: world-to-camera rotation W_n = M_n * (yaw of 60 n degrees).
// Pair n maps view n to view n + 1, so R_n = W_{n+1} W_n^T, and the product around the
// ring is the identity up to rounding.
inline std::array<cv::Matx33d, 6> exactRing(std::mt19937& random, double mountingDeg) {
  std::array<cv::Matx33d, 6> world;
  for (int n = 0; n < 6; ++n) {
    world[n] = randomRotation(random, mountingDeg) * matrixOfTriple(0.0, 60.0 * n * kDeg, 0.0);
  }
  std::array<cv::Matx33d, 6> pairs;
  for (int n = 0; n < 6; ++n) pairs[n] = world[(n + 1) % 6] * world[n].t();
  return pairs;
}

}  // namespace ringcalib::test
