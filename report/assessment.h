#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/report_data.h"
#include "rig/ring_closure.h"
#include "rig/ring_frame.h"

// The verdicts of a report: one per camera, one per pair and one for the ring, each with
// the reasons that lowered it. The verdicts' own limits are stated here once; the limits
// that the jobs decide on live with the jobs' geometry (the ring's closure limit,
// rig/ring_closure.h; the Sampson limit, rig/epipolar_consistency.h) or come with the
// records (the check's rule, PairCheck). The page and report.json print them from there.
namespace ringcalib::report {

enum class Verdict { kGood, kCheck, kPoor, kFailed };

// "good", "check", "poor", "failed".
const char* verdictName(Verdict verdict);

// Camera: RMS reprojection error of the fisheye solve, pixels.
inline constexpr double kCameraRmsGoodPx = 0.5;
inline constexpr double kCameraRmsCheckPx = 1.0;
// Pair: share of correspondences within rig::kSampsonLimitPx of the fundamental matrix.
inline constexpr double kConsistentShareGood = 0.9;
inline constexpr double kConsistentShareCheck = 0.7;
// Pair: the refinement's final median reprojection error, pixels of the prepared views.
inline constexpr double kPairMedianGoodPx = 0.5;
inline constexpr double kPairMedianCheckPx = 1.0;
// Ring: angle of the rotation around the ring, degrees; good up to this, to check up to
// rig::kClosureLimitDeg, beyond which the pair that breaks the ring (RingClosure::suspect)
// is named and the job stops.
inline constexpr double kClosureGoodDeg = 0.1;
// Pair: the median vertical disparity of its correspondences in the pair's epipolar frame
// (report/rectified_pair.h), degrees. Measured on generated rigs (README, "Calibration
// report"): calibrated poses stay below the good limit, a pose turned by 0.2 degrees
// about an axis that moves its rows goes beyond the check limit.
inline constexpr double kVerticalDisparityGoodDeg = 0.03;
inline constexpr double kVerticalDisparityCheckDeg = 0.08;

struct Judgement {
  Verdict verdict = Verdict::kGood;
  std::vector<std::string> reasons;  // why the verdict is below "good"
};

// How ready a pair is for depth matching along rows: the vertical disparity of its
// correspondences at its pose (median and 95th percentile, degrees) and its verdict.
struct DepthReadiness {
  double medianDeg = kNotMeasured;
  double p95Deg = kNotMeasured;
  Judgement judgement;
};

struct Assessment {
  std::vector<Judgement> cameras;    // index-aligned with CalibrationReport::cameras
  std::vector<Judgement> pairs;      // index-aligned with CalibrationReport::pairs
  // Index-aligned with CalibrationReport::pairs; only for pairs with a pose and inliers.
  std::vector<std::optional<DepthReadiness>> depth;
  std::optional<rig::RingClosure> ring;   // only when all the ring's pairs were solved
  Judgement ringJudgement;           // "failed" without a ring
};

Assessment assess(const CalibrationReport& report);

// Which poses a ring's rotations are taken from: the pairs' own, or the ring adjustment's.
enum class RingPoses { kPairwise, kAdjusted };

// The rotations R_0 ... R_{N-1} of the report's ring (N = CalibrationReport::ringCameras), or
// nothing when a pair lacks such a pose.
std::optional<rig::RingRotations> pairRotationsOf(const CalibrationReport& report,
                                                  RingPoses poses = RingPoses::kPairwise);

// The ring closure of the report's solved pairs, or nothing when a pair of the ring is missing.
std::optional<rig::RingClosure> ringClosureOf(const CalibrationReport& report);

}  // namespace ringcalib::report
