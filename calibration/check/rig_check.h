#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "report/report_data.h"
#include "calibration/extrinsic/pair_steps.h"
#include "rig/pair_pose.h"

// The check of a stored calibration against fresh stills of the rig: for every pair, the
// pose the extrinsic job finds in the stills now against the pose stored in the file. It
// only reads the parameter file.
namespace ringcalib::check {

// Reads the finished calibration in `file` (every camera's intrinsics and pair pose; the
// ring's size from the file, which must be `cameras` when that is not 0) and the stills
// origin_<n>.jpg of the first folder, solves each pair with the extrinsic job's stages
// and prints one line per pair saying whether its stored pose holds; records the figures
// into `report` unless null. Returns kSuccess when every pair holds, kRigMoved when one
// moved, or the extrinsic stages' failure codes (a file without a pose for every pair is
// kBadParameterFile).
int checkRig(const std::vector<std::string>& imagePaths, const std::string& file, int cameras,
             report::CalibrationReport* report);

// The check's rule: a pair "moved" when the stored pose explains the fresh correspondences
// worse than the pose found in them by more than this factor (median error), and the two
// turned apart by more than the floor (README, "Checking a calibration").
inline constexpr double kMovedErrorRatio = 1.5;
inline constexpr double kMovedRotationFloorDeg = 0.03;

// The figures of one pair: stored and fresh pose (X2 = R (X1 - t), in the same pose frames),
// the fresh correspondences in the pair's views (`view`: where they lie against the pose
// frames), judged by the rule above.
ringcalib::report::PairCheck checkPair(const ringcalib::rig::PairPose& stored,
                                       const ringcalib::rig::PairPose& fresh,
                                       const std::vector<cv::Point2f>& pts1,
                                       const std::vector<cv::Point2f>& pts2,
                                       const ringcalib::extrinsic::PairView& view);

}  // namespace ringcalib::check
