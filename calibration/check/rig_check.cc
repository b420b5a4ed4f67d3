#include "calibration/check/rig_check.h"

#include <algorithm>
#include <array>
#include <iostream>

#include "calibration/extrinsic/progress.h"
#include "calibration/extrinsic/stages.h"
#include "core/job_guard.h"
#include "core/number_format.h"
#include "core/result_code.h"
#include "pose/order_statistics.h"
#include "pose/reprojection_errors.h"
#include "rig/prepared_view.h"
#include "rig/ring.h"
#include "rig/ring_frame.h"

namespace ringcalib::check {
namespace {

double medianError(const rig::PairPose& pose, const std::vector<cv::Point2f>& pts1,
                   const std::vector<cv::Point2f>& pts2, const extrinsic::PairView& view) {
  const rig::PairPose between = view.prepared ? pose : view.toViews(pose);
  return median(poseReprojectionErrors(pts1, pts2, cv::Mat(view.K), cv::Mat(between.R), cv::Mat(between.t)));
}


bool finitePose(const rig::PairPose& pose) {
  return cv::checkRange(pose.R) && cv::checkRange(pose.t) && cv::norm(pose.t) > 0.0;
}

}  // namespace

report::PairCheck checkPair(const rig::PairPose& stored, const rig::PairPose& fresh,
                            const std::vector<cv::Point2f>& pts1,
                            const std::vector<cv::Point2f>& pts2, const extrinsic::PairView& view) {
  report::PairCheck check;
  check.stored = stored;
  check.rotationDeg = rig::rotationErrorDeg(fresh.R, stored.R);
  check.directionDeg = rig::directionErrorDeg(fresh.t, stored.t);
  check.storedErrorPx = medianError(stored, pts1, pts2, view);
  check.freshErrorPx = medianError(fresh, pts1, pts2, view);
  // How much worse the stored pose explains what the stills show now is measured against the
  // fresh pose's own error, so the rule scales with the noise of the shoot: a shoot of the
  // same rig again leaves the two errors alike, however noisy, while a camera turned by a
  // tenth of a degree moves every correspondence of its pairs by about a pixel. The floor
  // keeps a pair of almost noiseless correspondences from failing on a turn of nothing.
  // The direction of a baseline of a few centimetres is known to tenths of a degree at best
  // and does not decide.
  check.movedErrorRatio = kMovedErrorRatio;
  check.movedRotationFloorDeg = kMovedRotationFloorDeg;
  check.moved = !(check.storedErrorPx <= kMovedErrorRatio * check.freshErrorPx) &&
                !(check.rotationDeg <= kMovedRotationFloorDeg);
  return check;
}

namespace {

int runCheck(const std::vector<std::string>& imagePaths, const std::string& file, int cameras,
             report::CalibrationReport* report) {
  // The ring's size is the file's own unless the command line names one.
  const int expected = cameras;
  Result<rig::ParameterDocument> document = extrinsic::loadDocument(file, imagePaths, expected);
  if (!document.ok()) return document.code();
  if (cameras == 0) cameras = document.value().cameraCount();
  if (cameras < InputParam::kMinCameras || cameras > InputParam::kMaxCameras) cameras = rig::kCameras;
  rig::PoseFrame storedFrame;
  if (!document.value().findPoseFrame(storedFrame)) {
    std::cout << file << " has a \"pose_frame\" other than \"camera\"" << std::endl;
    return kBadParameterFile;
  }

  // The stored poses first: without them there is nothing to check the stills against.
  std::vector<rig::PairPose> stored(cameras);
  for (int n = 0; n < cameras; ++n) {
    if (!document.value().findPose(n, stored[n]) || !finitePose(stored[n])) {
      std::cout << file << " has no usable pose of pair " << n << "-" << rig::nextCamera(n, cameras)
                << ": the check needs a finished calibration (run the extrinsic job first)"
                << std::endl;
      return kBadParameterFile;
    }
  }
  if (report != nullptr) report->ringCameras = cameras;
  // The extrinsic job's stages up to the ring test, each pair printing only why it failed.
  const double share = extrinsic::progressShare(InputParam::CHECK);
  const Result<extrinsic::PreparedViews> prepared = extrinsic::prepareViews(
      document.value(), imagePaths.front(), file, cameras, share, report);
  if (!prepared.ok()) return prepared.code();
  if (report != nullptr) report->poseFrame = prepared.value().frame;
  const Result<extrinsic::RingPairs> fresh = extrinsic::solvePairs(
      prepared.value(), extrinsic::PairLines::kFailureOnly, false, share, report);
  if (!fresh.ok()) return fresh.code();
  const int code = extrinsic::checkRing(fresh.value());
  if (code != kSuccess) return code;

  int result = kSuccess;
  for (int n = 0; n < cameras; ++n) {
    const extrinsic::PairSolution& solution = fresh.value()[n];
    const report::PairCheck figures =
        checkPair(rig::inPoseFrames(stored[n], storedFrame, prepared.value().frame), solution.estimate->pose,
                  solution.matches->pts1, solution.matches->pts2, solution.view);
    std::cout << "pair " << n << "-" << rig::nextCamera(n, cameras) << ": "
              << (figures.moved ? "moved" : "holds") << " rotation "
              << formatNumber("%.3f", figures.rotationDeg) << " deg direction "
              << formatNumber("%.3f", figures.directionDeg) << " deg error stored "
              << formatNumber("%.3f", figures.storedErrorPx) << " px fresh "
              << formatNumber("%.3f", figures.freshErrorPx) << " px" << std::endl;
    if (report != nullptr) report->pair(n).check = figures;
    if (figures.moved) result = kRigMoved;
  }
  return result;
}

}  // namespace

int checkRig(const std::vector<std::string>& imagePaths, const std::string& file, int cameras,
             report::CalibrationReport* report) {
  return runGuarded("check of the calibration", [&] { return runCheck(imagePaths, file, cameras, report); });
}

}  // namespace ringcalib::check
