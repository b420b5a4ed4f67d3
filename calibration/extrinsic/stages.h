#pragma once

#include <array>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "adjust/ring_input.h"
#include "calibration/extrinsic/pair_steps.h"
#include "core/result.h"
#include "report/report_data.h"
#include "rig/pair_pose.h"
#include "rig/parameter_document.h"
#include "rig/ring.h"

// The extrinsic job's stages: load the file, prepare the views, solve the pairs, test the
// ring, adjust the ring (--ring-adjust), store the poses. Each takes what it reads and
// writes, prints its lines to standard output and returns its code with its value on
// success. The job (extrinsic_job.h) runs them all; the check of a stored calibration
// (calibration/check/) runs them up to the ring test.
namespace ringcalib::extrinsic {

// Every camera's still as an upright view of the common pinhole camera (rig/prepared_view.h).
struct PreparedViews {
  std::array<cv::Mat, rig::kCameras> views;
};

// The pose of each pair, pair n = (n, n + 1 mod 6), in the file's convention.
using PairPoses = std::array<rig::PairPose, rig::kCameras>;

// What the pair stage prints of a pair: all its lines (the extrinsic job), or only the line
// that says why it failed (the check).
enum class PairLines { kAll, kFailureOnly };

// Load: the parameter file `file`, checked, and that an image folder was given.
Result<rig::ParameterDocument> loadDocument(const std::string& file,
                                            const std::vector<std::string>& imagePaths);

// Prepare: reads the stills origin_<n>.jpg of `folder` and the cameras' intrinsics from
// `document` (`file` names it in messages), checks them and prepares the views, printing the
// progress within `progressShare` (progress.h). Records the stills into `report` unless null.
Result<PreparedViews> prepareViews(rig::ParameterDocument& document, const std::string& folder,
                                   const std::string& file, double progressShare,
                                   report::CalibrationReport* report);

// Pair: solves the six pairs of the prepared views, printing their lines as `lines` says and
// the progress; with `remeasure` RANSAC's inliers are measured again for the ring adjustment.
// Succeeds with every pair solved; fails with the first failure's code.
Result<RingPairs> solvePairs(const PreparedViews& prepared, PairLines lines, bool remeasure,
                             double progressShare, report::CalibrationReport* report);

// Ring: a wrong pair can pass every test of its own; the six composed around the ring show
// it, and its pose must not be used (ring_closure_check.h). Returns kSuccess or 9.
int checkRing(const RingPairs& pairs);

// Adjust: the six solved pairs adjusted together (adjust/). With all six of `covariances`
// usable and in `document`, the adjustment's sigma carries the intrinsics' share; otherwise
// it holds the intrinsics. Prints its block to `out` and records it into `report` unless
// null. Fails with 9 after one line naming the cause when it gives no trustworthy answer.
Result<PairPoses> adjustRing(const RingPairs& pairs, const rig::ParameterDocument& document,
                             const rig::LensCovariances& covariances,
                             report::CalibrationReport* report, std::ostream& out = std::cout);

// Store: the six poses entered into `document`, which then replaces `file` in one piece.
int storePoses(rig::ParameterDocument& document, const PairPoses& poses, const std::string& file);

// Camera `id`'s intrinsics from the document; fails with 4 after printing "read intrinsic
// param failed : " and the library's text.
Result<rig::FisheyeCamera> readCameraParams(rig::ParameterDocument& document, int id);

// Enters pair `id`'s pose into the document as camera `id`'s. Returns 0, or 6 after printing
// "write extrinsic param failed : " and the library's text.
int writeExtrinsicParam(rig::ParameterDocument& document, const rig::PairPose& pose, int id);

}  // namespace ringcalib::extrinsic
