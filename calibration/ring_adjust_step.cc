// The extrinsic job's ring adjustment (--ring-adjust): the adjustment itself is adjust/'s;
// this hands it the pairs (ring_adjust_input.h), prints it and records it for the report.
#include <cmath>
#include <iostream>
#include <optional>

#include "adjust/ring_adjustment.h"
#include "calibration/extrinsic_calibration.h"
#include "calibration/ring_adjust_input.h"
#include "core/job_guard.h"
#include "core/result_code.h"
#include "pose/angles.h"
#include "rig/ring_closure.h"

using namespace ringcalib::extrinsic;
using ringcalib::rig::kCameras;

namespace {

double closureDeg(const std::array<ringcalib::rig::PairPose, kCameras>& poses) {
  std::array<cv::Matx33d, kCameras> rotations;
  for (int n = 0; n < kCameras; ++n) rotations[n] = poses[n].R;
  return ringcalib::rig::computeRingClosure(rotations).closureDeg;
}

// A covariance the adjustment can weigh the intrinsics by: finite and positive definite.
bool usable(const ringcalib::rig::LensCovariance& covariance) {
  for (double v : covariance.val) {
    if (!std::isfinite(v)) return false;
  }
  cv::Mat values;
  cv::eigen(cv::Mat(covariance), values);
  return values.at<double>(ringcalib::rig::kLensParameters - 1) > 0.0;
}

}  // namespace

// The cameras' intrinsics with their covariance, at the K and D the views were prepared
// with: all six, or none (the adjustment then holds the intrinsics, as in an extrinsic run).
std::optional<ringcalib::adjust::UncertainLenses> ExtrinsicCalibration::uncertainLenses() const {
  ringcalib::adjust::UncertainLenses lenses;
  for (int n = 0; n < kCameras; ++n) {
    ringcalib::rig::FisheyeCamera camera;
    if (!lensCovariances_[n] || !usable(*lensCovariances_[n]) || !document_.findCamera(n, camera)) {
      return std::nullopt;
    }
    lenses[n] = {camera.K, camera.D, *lensCovariances_[n]};
  }
  return lenses;
}

int ExtrinsicCalibration::adjustRing(const std::array<const PairSolution*, kCameras>& pairs,
                                     std::array<ringcalib::rig::PairPose, kCameras>& poses,
                                     std::ostream& out) {
  ringcalib::adjust::RingAdjustment ring;
  try {
    const std::optional<ringcalib::adjust::UncertainLenses> lenses = uncertainLenses();
    ring = ringcalib::adjust::adjustRing(ringAdjustInput(pairs), lenses ? &*lenses : nullptr);
  } catch (const std::exception& e) {
    ring.failure = ringcalib::describeException(e);
  }
  if (!ring.adjusted) {
    out << "ring adjustment failed: " << ring.failure << std::endl;
    return ringcalib::kComputationFailed;
  }
  std::array<ringcalib::rig::PairPose, kCameras> pairwise;
  out << "ring adjustment: " << ring.tracks << " tracks, " << ring.threeCameraTracks
      << " over three cameras" << std::endl;
  for (int n = 0; n < kCameras; ++n) {
    const ringcalib::adjust::AdjustedPair& pair = ring.pairs[n];
    pairwise[n] = {cv::Matx33d(pairs[n]->pose.R), cv::Vec3d(pairs[n]->pose.t)};
    poses[n] = pair.pose;
    const cv::Vec3d anglesDeg = ringcalib::eulerAnglesDeg(cv::Mat(pair.pose.R));
    out << "pair " << n << "-" << ringcalib::rig::nextCamera(n) << " adjusted R: "
        << anglesDeg[0] << " " << anglesDeg[1] << " " << anglesDeg[2]
        << " change: rotation " << ringcalib::rig::rotationErrorDeg(pair.pose.R, pairwise[n].R)
        << " deg, direction " << ringcalib::rig::directionErrorDeg(pair.pose.t, pairwise[n].t)
        << " deg; 1-sigma: rotation " << pair.sigmaRotationDeg << " deg, direction "
        << pair.sigmaDirectionDeg << " deg" << std::endl;
    if (report_ != nullptr) {
      report_->pair(n).adjusted = ringcalib::report::AdjustedPairReport{
          pair.pose.R, pair.pose.t, anglesDeg, pair.sigmaRotationDeg, pair.sigmaDirectionDeg};
    }
  }
  const double adjustedClosure = closureDeg(poses);
  out << "ring closure: pairwise " << closureDeg(pairwise) << " deg, adjusted "
      << adjustedClosure << " deg" << std::endl;
  if (report_ != nullptr) report_->adjustedClosureDeg = adjustedClosure;
  return ringcalib::kSuccess;
}
