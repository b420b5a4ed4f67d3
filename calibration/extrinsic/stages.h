#pragma once

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
#include "rig/ring_layout.h"

// The extrinsic job's stages: load the file, prepare the views, solve the pairs, test the
// ring, adjust the ring (--ring-adjust), store the poses. Each takes what it reads and
// writes, prints its lines to standard output and returns its code with its value on
// success. The job (extrinsic_job.h) runs them all; the check of a stored calibration
// (calibration/check/) runs them up to the ring test.
namespace ringcalib::extrinsic {

// What the pairs are solved from. The standard rig's layout (rig/ring_layout.h): every
// camera's still as an upright view of the common pinhole camera (rig/prepared_view.h), the
// poses in its prepared frames. Any other layout: the stills themselves, each pair's views
// rendered from them in the pair's own frame, the poses in the cameras' sensor frames.
struct PreparedViews {
  rig::PoseFrame frame = rig::PoseFrame::kPrepared;
  std::vector<cv::Mat> views;                // kPrepared only
  std::vector<cv::Mat> stills;               // kCamera only: grey, no zero sample
  std::vector<rig::FisheyeCamera> lenses;    // kCamera only: in pixels of the stills
  rig::RingLayout layout;                    // kCamera only

  int cameras() const { return static_cast<int>(frame == rig::PoseFrame::kPrepared ? views.size() : stills.size()); }
};

// The pose of each pair, pair n = (n, n + 1 mod N), in the file's pose frames.
using PairPoses = std::vector<rig::PairPose>;

// What the pair stage prints of a pair: all its lines (the extrinsic job), or only the line
// that says why it failed (the check).
enum class PairLines { kAll, kFailureOnly };

// Load: the parameter file `file`, checked: it holds `cameras` cameras (0: any number; a file
// that holds others fails with 4 after one line naming both counts; one that holds none is
// read camera by camera, as it always was), and an image folder was given.
Result<rig::ParameterDocument> loadDocument(const std::string& file,
                                            const std::vector<std::string>& imagePaths, int cameras);

// Prepare: reads the stills origin_<n>.jpg, n < `cameras`, of `folder` and the cameras'
// intrinsics from `document` (`file` names it in messages), checks them, finds the ring's
// layout and prepares what the pairs are solved from, printing the progress within
// `progressShare` (progress.h). A layout other than the standard rig's is said in one line;
// one that cannot be found fails with 9 after one line saying which pair and why (six
// cameras are taken for the standard rig then, as they always were). Records the stills
// into `report` unless null.
Result<PreparedViews> prepareViews(rig::ParameterDocument& document, const std::string& folder,
                                   const std::string& file, int cameras, double progressShare,
                                   report::CalibrationReport* report);

// Pair: solves the ring's pairs, printing their lines as `lines` says and the progress; with
// `remeasure` RANSAC's inliers are measured again for the ring adjustment. Succeeds with
// every pair solved; fails with the first failure's code.
Result<RingPairs> solvePairs(const PreparedViews& prepared, PairLines lines, bool remeasure,
                             double progressShare, report::CalibrationReport* report);

// Ring: a wrong pair can pass every test of its own; the pairs composed around the ring
// show it, and its pose must not be used (ring_closure_check.h). Returns kSuccess or 9.
int checkRing(const RingPairs& pairs);

// Adjust: the solved pairs adjusted together (adjust/). With every camera's covariance
// usable and its lens in `document`, the adjustment's sigma carries the intrinsics' share;
// otherwise it holds the intrinsics. Prints its block to `out` and records it into `report` unless
// null. Fails with 9 after one line naming the cause when it gives no trustworthy answer.
Result<PairPoses> adjustRing(const RingPairs& pairs, const PreparedViews& prepared,
                             const rig::ParameterDocument& document,
                             const rig::LensCovariances& covariances,
                             report::CalibrationReport* report, std::ostream& out = std::cout);

// Store: the poses entered into `document` with the frames they are given in, which then
// replaces `file` in one piece.
int storePoses(rig::ParameterDocument& document, const PairPoses& poses, rig::PoseFrame frame,
               const std::string& file);

// Camera `id`'s intrinsics from the document; fails with 4 after printing "read intrinsic
// param failed : " and the library's text.
Result<rig::FisheyeCamera> readCameraParams(rig::ParameterDocument& document, int id);

// Enters pair `id`'s pose into the document as camera `id`'s. Returns 0, or 6 after printing
// "write extrinsic param failed : " and the library's text.
int writeExtrinsicParam(rig::ParameterDocument& document, const rig::PairPose& pose, int id);

}  // namespace ringcalib::extrinsic
