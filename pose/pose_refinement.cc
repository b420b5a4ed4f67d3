#include "pose/pose_refinement.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ringcalib {
namespace {

constexpr double kDamping = 0.001;
constexpr double kMaxTranslationStep = 0.5;
constexpr double kFinalTranslationStep = 0.1;
constexpr double kFinalAngleStep = 0.003;

double largestOfThree(const cv::Vec6d& step, int first) {
  return std::max({std::abs(step[first]), std::abs(step[first + 1]), std::abs(step[first + 2])});
}

// limit / largest, or +inf when the part is zero so that the other bound decides.
double boundFactor(double limit, double largest) {
  return largest > 0.0 ? limit / largest : std::numeric_limits<double>::infinity();
}

cv::Vec6d scaledWithin(const cv::Vec6d& step, double angleLimit, double translationLimit) {
  const double s = std::min({1.0, boundFactor(translationLimit, largestOfThree(step, 3)),
                             boundFactor(angleLimit, largestOfThree(step, 0))});
  return step * s;
}

cv::Vec3d normalised(const cv::Vec3d& v) {
  const double length = cv::norm(v);
  return cv::Vec3d(v[0] / length, v[1] / length, v[2] / length);
}

}  // namespace

cv::Vec6d boundedStep(const cv::Vec6d& raw, int remaining) {
  const cv::Vec6d first = scaledWithin(raw, kMaxAngleStep, kMaxTranslationStep);
  const double angleCap = kMaxAngleStep * remaining / 100 + kFinalAngleStep;
  return scaledWithin(first, angleCap, kFinalTranslationStep);
}

double refinePose(cv::Mat& R, cv::Mat& t, int maxIterations, const NormalEquationBuilder& build) {
  const CPose pose;
  cv::Mat rotation = cv::Mat(cv::Matx33d(R));
  cv::Vec3d translation = t;
  cv::Matx33d bestRotation;
  cv::Vec3d bestTranslation;
  double best = CPose::kNoPoseError;

  for (int iteration = 1; iteration <= maxIterations; ++iteration) {
    translation = normalised(translation);
    const NormalEquations equations = build(rotation, cv::Mat(translation));

    cv::Matx66d H = equations.JtJ;
    for (int d = 0; d < 6; ++d) H(d, d) += kDamping;
    const cv::Vec6d raw = -(H.inv(cv::DECOMP_LU) * equations.Jtr);
    const cv::Vec6d step = boundedStep(raw, maxIterations - iteration);

    double x, y, z;
    pose.rotationToEuler(rotation, x, y, z);
    pose.eulerToRotation(x + step[0], y + step[1], z + step[2], rotation);
    translation = normalised(translation + cv::Vec3d(step[3], step[4], step[5]));

    // The error belongs to the pose before this update; the pose kept with it is the
    // updated one.
    if (equations.medianError < best) {
      best = equations.medianError;
      bestRotation = cv::Matx33d(rotation);
      bestTranslation = translation;
    }
  }

  if (best < CPose::kNoPoseError) {
    cv::Mat(bestRotation).copyTo(R);
    cv::Mat(bestTranslation).copyTo(t);
  }
  return best;
}

}  // namespace ringcalib

double CPose::optimizeRt(const std::vector<cv::Point2f>& pts1,
                         const std::vector<cv::Point2f>& pts2, cv::Mat K, cv::Mat& R, cv::Mat& t,
                         int maxIterations) const {
  if (maxIterations <= 0 || pts1.empty()) return kNoPoseError;
  const std::vector<ringcalib::RayPair> rays = ringcalib::correspondenceRays(pts1, pts2, K);
  return ringcalib::refinePose(R, t, maxIterations, [&](const cv::Mat& rotation,
                                                        const cv::Mat& translation) {
    return ringcalib::accumulateNormalEquations(rays, pts2, K, rotation, translation);
  });
}
