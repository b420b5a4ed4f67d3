#include "tools/truth_compare.h"

#include <algorithm>
#include <cmath>

#include "tools/fisheye_lens.h"

namespace ringcalib::synth {
namespace {

constexpr double kDeg = CV_PI / 180.0;

// Angle between unit-length-agnostic vectors, from atan2(|a × b|, a · b): accurate also for
// tiny angles, where acos of the dot product loses half the digits.
double angleBetween(const cv::Vec3d& a, const cv::Vec3d& b) {
  return std::atan2(cv::norm(a.cross(b)), a.dot(b));
}

}  // namespace

double projectionRmsError(const CameraTruth& truth, const cv::Matx33d& K, const cv::Vec4d& D,
                          double maxAngleDeg) {
  // Rays on rings of constant off-axis angle, 0.5° apart, each ring sampled every 2° of
  // azimuth, weighted by sin(theta) so that every solid angle of the cone counts alike.
  const FisheyeLens truthLens(truth.K, truth.D);
  const FisheyeLens estimatedLens(K, D);
  constexpr double kRingStepDeg = 0.5;
  constexpr int kAzimuthSteps = 180;
  double sumSquares = 0.0, sumWeights = 0.0;
  const int rings = static_cast<int>(std::floor(maxAngleDeg / kRingStepDeg + 1e-9));
  for (int ring = 1; ring <= rings; ++ring) {
    const double theta = ring * kRingStepDeg * kDeg;
    const double weight = std::sin(theta);
    for (int a = 0; a < kAzimuthSteps; ++a) {
      const double phi = 2.0 * CV_PI * a / kAzimuthSteps;
      const cv::Vec3d ray(std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta));
      const cv::Point2d d = truthLens.project(ray) - estimatedLens.project(ray);
      sumSquares += weight * d.dot(d);
      sumWeights += weight;
    }
  }
  // The optical axis itself (theta = 0) carries no solid angle but keeps maxAngleDeg = 0 defined.
  const cv::Point2d axis(truth.K(0, 2) - K(0, 2), truth.K(1, 2) - K(1, 2));
  if (sumWeights == 0.0) return std::sqrt(axis.dot(axis));
  return std::sqrt(sumSquares / sumWeights);
}

double rotationErrorDeg(const cv::Matx33d& estimated, const cv::Matx33d& truth) {
  const cv::Matx33d delta = estimated * truth.t();
  // Angle of a rotation from its trace and its skew part: atan2(|axis·sin|, cos), well
  // conditioned at 0 and 180°.
  const double sinPart = 0.5 * std::sqrt(std::pow(delta(2, 1) - delta(1, 2), 2) +
                                         std::pow(delta(0, 2) - delta(2, 0), 2) +
                                         std::pow(delta(1, 0) - delta(0, 1), 2));
  const double cosPart = 0.5 * (cv::trace(delta) - 1.0);
  return std::atan2(sinPart, std::clamp(cosPart, -1.0, 1.0)) / kDeg;
}

double directionErrorDeg(const cv::Vec3d& estimated, const cv::Vec3d& truth) {
  return angleBetween(estimated, truth) / kDeg;
}

}  // namespace ringcalib::synth
