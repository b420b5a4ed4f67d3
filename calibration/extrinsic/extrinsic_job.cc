// The extrinsic job composed from its stages.
#include "calibration/extrinsic/extrinsic_job.h"

#include <fstream>
#include <iostream>

#include "calibration/extrinsic/progress.h"
#include "calibration/extrinsic/ring_closure_check.h"
#include "core/job_guard.h"
#include "core/result_code.h"

using namespace ringcalib::extrinsic;
using ringcalib::kSuccess;
using ringcalib::rig::kCameras;

int ExtrinsicCalibration::Calibrate(const std::vector<std::string>& imagePaths,
                                    const std::string& file,
                                    const InputParam::CalibrationType& type) {
  progressShare_ = progressShare(type);
  return ringcalib::runGuarded("extrinsic calibration", [&] { return calibrate(imagePaths, file); });
}

int ExtrinsicCalibration::calibrate(const std::vector<std::string>& imagePaths,
                                    const std::string& file) {
  int code = loadDocument(file, imagePaths);
  if (code != kSuccess) return code;
  PreparedViews prepared;
  code = prepareViews(imagePaths.front(), file, prepared);
  if (code != kSuccess) return code;
  RingPairs pairs;
  code = solvePairs(prepared, PairLines::kAll, pairs);
  if (code != kSuccess) return code;
  code = checkRing(pairs);
  if (code != kSuccess) return code;

  // The pairwise poses, or with --ring-adjust the adjusted ones.
  std::array<ringcalib::rig::PairPose, kCameras> poses;
  std::array<const PairSolution*, kCameras> solved;
  for (int k = 0; k < kCameras; ++k) {
    poses[k] = {cv::Matx33d(pairs[k].pose.R), cv::Vec3d(pairs[k].pose.t)};
    solved[k] = &pairs[k];
  }
  if (ringAdjust_) {
    code = adjustRing(solved, poses);
    if (code != kSuccess) return code;
  }
  return storePoses(poses, file);
}

int ExtrinsicCalibration::loadDocument(const std::string& file,
                                       const std::vector<std::string>& imagePaths) {
  std::ifstream in;  // read whole and closed here: the stages use the document
  const int code = document_.load(in, file);
  if (code != kSuccess) return code;
  if (imagePaths.empty()) {
    std::cout << "No image folder was given (--image): the extrinsic job needs origin_0.jpg ... "
                 "origin_5.jpg"
              << std::endl;
    return ringcalib::kImageMissing;
  }
  return kSuccess;
}

int ExtrinsicCalibration::checkRing(const RingPairs& pairs) {
  std::array<cv::Matx33d, kCameras> rotations;
  for (int k = 0; k < kCameras; ++k) rotations[k] = cv::Matx33d(pairs[k].pose.R);
  return checkRingCloses(rotations);
}

int ExtrinsicCalibration::storePoses(const std::array<ringcalib::rig::PairPose, kCameras>& poses,
                                     const std::string& file) {
  for (int k = 0; k < kCameras; ++k) {
    const int code = writeExtrinsicParam(cv::Mat(poses[k].R), cv::Mat(poses[k].t), k);
    if (code != kSuccess) return code;
  }
  if (document_.write(file) != kSuccess) {
    return ringcalib::kCannotOpen;
  }
  return kSuccess;
}
