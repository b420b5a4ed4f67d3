// The extrinsic job composed from its stages.
#include "calibration/extrinsic/extrinsic_job.h"

#include "calibration/extrinsic/progress.h"
#include "calibration/extrinsic/stages.h"
#include "core/job_guard.h"
#include "core/result_code.h"

namespace ringcalib::extrinsic {

namespace {

int runStages(const std::vector<std::string>& imagePaths, const std::string& file,
              double progressShare, const JobSettings& settings) {
  Result<rig::ParameterDocument> document = loadDocument(file, imagePaths, settings.cameras);
  if (!document.ok()) return document.code();
  if (settings.report != nullptr) settings.report->ringCameras = settings.cameras;
  const Result<PreparedViews> prepared = prepareViews(document.value(), imagePaths.front(), file, settings.cameras,
                                                      progressShare, settings.report);
  if (!prepared.ok()) return prepared.code();
  const rig::PoseFrame frame = prepared.value().frame;
  if (settings.report != nullptr) settings.report->poseFrame = frame;
  const Result<RingPairs> pairs = solvePairs(prepared.value(), PairLines::kAll,
                                             settings.ringAdjust, progressShare, settings.report);
  if (!pairs.ok()) return pairs.code();
  const int code = checkRing(pairs.value());
  if (code != kSuccess) return code;

  // The pairwise poses, or with --ring-adjust the adjusted ones.
  if (settings.ringAdjust) {
    const Result<PairPoses> adjusted = adjustRing(pairs.value(), prepared.value(), document.value(),
                                                  settings.lensCovariances, settings.report);
    if (!adjusted.ok()) return adjusted.code();
    return storePoses(document.value(), adjusted.value(), frame, file);
  }
  PairPoses poses;
  for (const PairSolution& pair : pairs.value()) poses.push_back(pair.estimate->pose);
  return storePoses(document.value(), poses, frame, file);
}

}  // namespace

int calibrate(const std::vector<std::string>& imagePaths, const std::string& file,
              InputParam::CalibrationType type, const JobSettings& settings) {
  return runGuarded("extrinsic calibration", [&] {
    return runStages(imagePaths, file, progressShare(type), settings);
  });
}

}  // namespace ringcalib::extrinsic
