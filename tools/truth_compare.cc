#include "tools/truth_compare.h"

#include <algorithm>
#include <cmath>

#include "pose/angles.h"
#include "tools/rig_truth.h"

namespace ringcalib::synth {

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
    const double theta = ring * kRingStepDeg * kRadiansPerDegree;
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

}  // namespace ringcalib::synth
