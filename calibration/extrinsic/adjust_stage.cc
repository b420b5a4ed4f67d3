// The extrinsic job's ring adjustment (--ring-adjust): the adjustment itself is adjust/'s;
// this hands it the pairs (ring_adjust_input.h), prints it and records it for the report.
#include <cmath>
#include <iostream>
#include <optional>

#include "adjust/ring_adjustment.h"
#include "calibration/extrinsic/ring_adjust_input.h"
#include "calibration/extrinsic/stages.h"
#include "core/job_guard.h"
#include "core/result_code.h"
#include "pose/angles.h"
#include "rig/ring_closure.h"
#include "rig/ring_frame.h"

namespace ringcalib::extrinsic {

namespace {

double closureDeg(const PairPoses& poses) {
  return rig::computeRingClosure(rig::rotationsOf(poses)).closureDeg;
}

// A covariance the adjustment can weigh the intrinsics by: finite and positive definite.
bool usable(const rig::LensCovariance& covariance) {
  for (double v : covariance.val) {
    if (!std::isfinite(v)) return false;
  }
  cv::Mat values;
  cv::eigen(cv::Mat(covariance), values);
  return values.at<double>(rig::kLensParameters - 1) > 0.0;
}

// The cameras' intrinsics with their covariance, at the K and D the views were prepared
// with: every camera's, or none (the adjustment then holds the intrinsics, as in an extrinsic
// run).
std::optional<adjust::UncertainLenses> uncertainLenses(const rig::ParameterDocument& document,
                                                       const rig::LensCovariances& covariances, int cameras) {
  if (static_cast<int>(covariances.size()) != cameras) return std::nullopt;
  adjust::UncertainLenses lenses;
  for (int n = 0; n < cameras; ++n) {
    rig::FisheyeCamera camera;
    if (!covariances[n] || !usable(*covariances[n]) || !document.findCamera(n, camera)) {
      return std::nullopt;
    }
    lenses.push_back({camera.K, camera.D, *covariances[n]});
  }
  return lenses;
}

}  // namespace

Result<PairPoses> adjustRing(const RingPairs& pairs, const PreparedViews& prepared,
                             const rig::ParameterDocument& document,
                             const rig::LensCovariances& covariances,
                             report::CalibrationReport* report, std::ostream& out) {
  adjust::RingAdjustment ring;
  try {
    const int cameras = static_cast<int>(pairs.size());
    const std::optional<adjust::UncertainLenses> lenses = uncertainLenses(document, covariances, cameras);
    ring = adjust::adjustRing(ringAdjustInput(pairs, prepared.frame), lenses ? &*lenses : nullptr);
  } catch (const std::exception& e) {
    ring.failure = describeException(e);
  }
  if (!ring.adjusted) {
    out << "ring adjustment failed: " << ring.failure << std::endl;
    return Result<PairPoses>::failure(kComputationFailed);
  }
  const int cameras = static_cast<int>(pairs.size());
  PairPoses pairwise(cameras);
  PairPoses poses(cameras);
  out << "ring adjustment: " << ring.tracks << " tracks, " << ring.threeCameraTracks
      << " over three cameras" << std::endl;
  for (int n = 0; n < cameras; ++n) {
    const adjust::AdjustedPair& pair = ring.pairs[n];
    pairwise[n] = pairs[n].estimate->pose;
    poses[n] = pair.pose;
    const cv::Vec3d anglesDeg = eulerAnglesDeg(cv::Mat(pair.pose.R));
    out << "pair " << n << "-" << rig::nextCamera(n, cameras) << " adjusted R: " << anglesDeg[0] << " "
        << anglesDeg[1] << " " << anglesDeg[2] << " change: rotation "
        << rig::rotationErrorDeg(pair.pose.R, pairwise[n].R) << " deg, direction "
        << rig::directionErrorDeg(pair.pose.t, pairwise[n].t) << " deg; 1-sigma: rotation "
        << pair.sigmaRotationDeg << " deg, direction " << pair.sigmaDirectionDeg << " deg"
        << std::endl;
    if (report != nullptr) {
      report->pair(n).adjusted = report::AdjustedPairReport{
          pair.pose.R, pair.pose.t, anglesDeg, pair.sigmaRotationDeg, pair.sigmaDirectionDeg};
    }
  }
  const double adjustedClosure = closureDeg(poses);
  out << "ring closure: pairwise " << closureDeg(pairwise) << " deg, adjusted "
      << adjustedClosure << " deg" << std::endl;
  if (report != nullptr) report->adjustedClosureDeg = adjustedClosure;
  return poses;
}

}  // namespace ringcalib::extrinsic
