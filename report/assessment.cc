#include "report/assessment.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/number_format.h"
#include "core/result_code.h"
#include "pose/order_statistics.h"
#include "report/rectified_pair.h"

namespace ringcalib::report {

namespace {

// Lowers `judgement` to `verdict` (never raises it) and records why.
void lower(Judgement& judgement, Verdict verdict, std::string reason) {
  if (verdict > judgement.verdict) judgement.verdict = verdict;
  judgement.reasons.push_back(std::move(reason));
}

// Grades `value` against two limits, where smaller is better. A value that is not a
// number counts as beyond both.
void grade(Judgement& judgement, double value, double goodLimit, double checkLimit,
           const std::string& reason) {
  if (value <= goodLimit) return;
  lower(judgement, value <= checkLimit ? Verdict::kCheck : Verdict::kPoor, reason);
}

Judgement judgeCamera(const CameraReport& camera) {
  Judgement judgement;
  if (!camera.intrinsic) {
    if (!camera.hasIntrinsics) lower(judgement, Verdict::kFailed, "no intrinsic parameters");
    return judgement;  // K and D from an earlier run: nothing of their solve is known here
  }
  const IntrinsicReport& intrinsic = *camera.intrinsic;
  if (!intrinsic.solved) {
    lower(judgement, Verdict::kFailed, "not solved");
    return judgement;
  }
  grade(judgement, intrinsic.rmsError, kCameraRmsGoodPx, kCameraRmsCheckPx,
        formatNumber("RMS error %.3f px", intrinsic.rmsError));
  if (intrinsic.field) {
    const FieldReport& field = *intrinsic.field;
    if (field.folds()) {
      lower(judgement, Verdict::kPoor, formatNumber("model folds at %.1f deg, inside the field", field.foldDeg));
    }
    if (field.coverageShort()) {
      lower(judgement, Verdict::kPoor,
            formatNumber("corners reach %.1f deg of %.1f deg needed", field.coveredDeg, field.neededDeg));
    }
  }
  return judgement;
}

// The ring names a pair only when it does not close.
bool breaksRing(const std::optional<rig::RingClosure>& ring, int pair) {
  return ring && ring->broken() && ring->suspect == pair;
}

Judgement judgePair(const PairReport& pair, const std::optional<rig::RingClosure>& ring) {
  Judgement judgement;
  if (!pair.solved) {
    lower(judgement, Verdict::kFailed, "no pose");
    return judgement;
  }
  const double share = pair.correspondences > 0 && pair.consistentWithF >= 0
                           ? static_cast<double>(pair.consistentWithF) / pair.correspondences
                           : 0.0;
  // Larger is better for the share: grade its shortfall from 1.
  grade(judgement, 1.0 - share, 1.0 - kConsistentShareGood, 1.0 - kConsistentShareCheck,
        formatNumber("%.1f %% consistent with F", 100.0 * share));
  grade(judgement, pair.medianError, kPairMedianGoodPx, kPairMedianCheckPx,
        formatNumber("median error %.3f px", pair.medianError));
  if (breaksRing(ring, pair.pair)) {
    lower(judgement, Verdict::kPoor, "breaks the ring");
  }
  return judgement;
}

// The extrinsic job and the check test the ring once all its pairs have a pose, against the
// same limit: a ring beyond it with such a job ended by code 9 is the ring that stopped it.
const JobOutcome* stoppedByTheRing(const CalibrationReport& report, const rig::RingClosure& ring) {
  if (!ring.broken()) return nullptr;
  for (const JobOutcome& job : report.jobs) {
    if (testsTheRing(job.job) && job.code == kComputationFailed) return &job;
  }
  return nullptr;
}

std::optional<DepthReadiness> judgeDepthReadiness(const PairReport& pair) {
  if (!pair.solved) return std::nullopt;
  const std::vector<double> disparities =
      verticalDisparitiesDeg(poseToRectify(pair), pair.inlierRays1, pair.inlierRays2);
  if (disparities.empty()) return std::nullopt;
  DepthReadiness depth;
  depth.medianDeg = median(disparities);
  depth.p95Deg = percentile(disparities, 0.95);
  grade(depth.judgement, depth.medianDeg, kVerticalDisparityGoodDeg, kVerticalDisparityCheckDeg,
        formatNumber("vertical disparity %.3f deg", depth.medianDeg));
  return depth;
}

}  // namespace

const char* verdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kGood: return "good";
    case Verdict::kCheck: return "check";
    case Verdict::kPoor: return "poor";
    case Verdict::kFailed: return "failed";
  }
  return "failed";
}

std::optional<rig::RingRotations> pairRotationsOf(const CalibrationReport& report, RingPoses poses) {
  rig::RingRotations rotations(report.ringCameras);
  std::vector<bool> seen(report.ringCameras, false);
  for (const PairReport& pair : report.pairs) {
    const bool posed = poses == RingPoses::kAdjusted ? pair.adjusted.has_value() : pair.solved;
    if (!posed || pair.pair < 0 || pair.pair >= report.ringCameras) continue;
    rotations[pair.pair] = poses == RingPoses::kAdjusted ? pair.adjusted->R : pair.R;
    seen[pair.pair] = true;
  }
  for (const bool present : seen) {
    if (!present) return std::nullopt;
  }
  return rotations;
}

std::optional<rig::RingClosure> ringClosureOf(const CalibrationReport& report) {
  const std::optional<rig::RingRotations> rotations = pairRotationsOf(report);
  if (!rotations) return std::nullopt;
  return rig::computeRingClosure(*rotations);
}

Assessment assess(const CalibrationReport& report) {
  Assessment assessment;
  assessment.ring = ringClosureOf(report);
  for (const CameraReport& camera : report.cameras) {
    assessment.cameras.push_back(judgeCamera(camera));
  }
  for (const PairReport& pair : report.pairs) {
    assessment.pairs.push_back(judgePair(pair, assessment.ring));
    assessment.depth.push_back(judgeDepthReadiness(pair));
  }
  if (!assessment.ring) {
    lower(assessment.ringJudgement, Verdict::kFailed,
          std::string("not all ") + rig::spelledCount(report.ringCameras) + " pairs have a pose");
  } else {
    const rig::RingClosure& ring = *assessment.ring;
    grade(assessment.ringJudgement, ring.closureDeg, kClosureGoodDeg, rig::kClosureLimitDeg,
          formatNumber("closes to %.3f deg", ring.closureDeg));
    if (breaksRing(assessment.ring, ring.suspect)) {
      assessment.ringJudgement.reasons.push_back("pair " + std::to_string(ring.suspect) +
                                                 " breaks the ring");
    }
    if (const JobOutcome* stopped = stoppedByTheRing(report, ring)) {
      lower(assessment.ringJudgement, Verdict::kFailed,
            formatNumber("the %s job stopped: the ring does not close within %.1f deg",
                         jobName(stopped->job), rig::kClosureLimitDeg));
    }
  }
  return assessment;
}

}  // namespace ringcalib::report
