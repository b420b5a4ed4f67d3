#pragma once

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "rig/fisheye_lens.h"
#include "rig/pair_pose.h"
#include "rig/ring.h"

// What a calibration run shows about its own quality. The jobs fill these plain records
// while they work (only when a report was asked for); the writer turns them into
// report.json, index.html and the pictures the page shows.
namespace ringcalib::report {

inline constexpr double kNotMeasured = std::numeric_limits<double>::quiet_NaN();

// One accepted corner of the solve and its reprojection error, in full-frame pixels.
struct CornerResidual {
  cv::Point2f position;
  float residual = 0.0f;
};

// The residuals of a solve's corners in one band of angle off the axis, [fromDeg, toDeg).
struct AngleBand {
  double fromDeg = 0.0;
  double toDeg = 0.0;
  int corners = 0;
  double rmsPx = kNotMeasured;
};

// How far off the axis a camera's model holds and its corners reach (rig/lens_field.h).
struct FieldReport {
  double coveredDeg = kNotMeasured;  // the farthest corner of the solve
  double neededDeg = kNotMeasured;   // as far as the stills are used
  double edgeDeg = kNotMeasured;     // the field's edge; not measured where the model folds
  double foldDeg = kNotMeasured;     // where theta_d turns inside the field, if it does
  std::vector<AngleBand> bands;

  bool folds() const { return !std::isnan(foldDeg); }
  bool coverageShort() const { return !(coveredDeg >= neededDeg); }
};

// The intrinsic job's account of one camera.
struct IntrinsicReport {
  int framesRead = 0;
  int framesSampled = 0;              // every fourth frame
  int framesPassingCheapTest = 0;     // sampled frames the small-copy board test let through
  int viewsAccepted = 0;              // frames whose full board detection was accepted
  int cornersKept = 0;                // corners the solve was given, all views: the central circle's unless it fell short
  cv::Size frameSize;                 // size of the frames the corners are measured in
  bool solved = false;                // the fisheye solve gave K and D
  double rmsError = kNotMeasured;     // RMS reprojection error of the solve, pixels
  std::vector<double> viewRmsErrors;  // per view that entered the solve, pixels
  std::vector<CornerResidual> corners;
  std::optional<FieldReport> field;   // where the job solved past the central circle
};

// One camera: its intrinsic account (when the intrinsic job reached it), the K and D in
// use (solved, or read back by the extrinsic job) and, when the extrinsic job prepared
// the camera's view, a reduced copy of the undistorted, quarter-turned view, and the still
// itself with the lens in its pixels (the intrinsics scaled as the job scaled them).
struct CameraReport {
  int camera = 0;
  std::optional<IntrinsicReport> intrinsic;
  bool hasIntrinsics = false;
  cv::Matx33d K = cv::Matx33d::zeros();
  cv::Vec4d D = cv::Vec4d::all(0.0);
  cv::Mat preview;
  cv::Mat still;
  rig::FisheyeCamera stillLens{cv::Matx33d::eye(), cv::Vec4d::all(0.0)};
};

// A correspondence drawn on the pair picture, in the picture's strip coordinates.
struct DrawnMatch {
  cv::Point2f first;
  cv::Point2f second;
};

// The check of a pair's stored pose against the pose found in fresh stills: the turn and
// the change of baseline direction between them, the median error of the fresh
// correspondences under each pose, and the check's rule with its verdict.
struct PairCheck {
  rig::PairPose stored;
  bool moved = false;
  double movedErrorRatio = kNotMeasured;        // the rule the check judged by
  double movedRotationFloorDeg = kNotMeasured;
  double rotationDeg = kNotMeasured;
  double directionDeg = kNotMeasured;
  double storedErrorPx = kNotMeasured;
  double freshErrorPx = kNotMeasured;
};

struct PairReport;

// The pose a pair's stills are rectified with and its vertical disparity measured under: the
// pose the run stands by. In a check the stored pose, which is what is being judged; after
// the ring adjustment the adjusted pose, which the file gets; otherwise the pair's own.
rig::PairPose poseToRectify(const PairReport& pair);

// The ring adjustment's pose of a pair (--ring-adjust), in the file's convention.
struct AdjustedPairReport {
  cv::Matx33d R = cv::Matx33d::eye();
  cv::Vec3d t = cv::Vec3d::all(0.0);
  cv::Vec3d anglesDeg;  // rotationToEuler angles, degrees, as the pairwise ones
  double sigmaRotationDeg = 0.0;
  double sigmaDirectionDeg = 0.0;
};

// One neighbouring pair (camera `first`, camera `second` = (first + 1) mod the ring's cameras).
struct PairReport {
  int pair = 0;
  int first = 0;
  int second = 1;
  int correspondences = 0;
  int consistentWithF = -1;          // Sampson distance <= 3 px; -1 before F was estimated
  bool solved = false;               // R and t were estimated
  double medianError = kNotMeasured; // the refinement's final median reprojection error, px
  cv::Vec3d anglesDeg = cv::Vec3d::all(kNotMeasured);  // rotationToEuler angles, degrees
  cv::Matx33d R = cv::Matx33d::eye();
  cv::Vec3d t = cv::Vec3d::all(0.0);
  std::vector<double> finalErrors;   // per-correspondence errors of the final pose, px
  cv::Mat firstStrip;                // reduced warped strips the flow ran on
  cv::Mat secondStrip;
  std::vector<DrawnMatch> matches;   // a sample of correspondences in strip coordinates
  // The correspondences RANSAC kept as inliers of F, those the pose was refined on, as rays
  // of the two cameras' pose frames (rig/ring_frame.h): the first camera's, the second's.
  std::vector<cv::Vec3d> inlierRays1;
  std::vector<cv::Vec3d> inlierRays2;
  std::optional<PairCheck> check;    // only in a check of a stored calibration
  std::optional<AdjustedPairReport> adjusted;  // only when the ring adjustment ran
};

// The jobs a run can hold.
enum class Job { kIntrinsic, kExtrinsic, kCheck };

// "intrinsic", "extrinsic", "check": the job's name on the page and in report.json.
const char* jobName(Job job);

// The extrinsic job and the check both stop when the ring's pairs do not close it
// (rig/ring_closure.h).
bool testsTheRing(Job job);

// How a job ended: which job and its result code.
struct JobOutcome {
  Job job = Job::kIntrinsic;
  int code = 0;
};

// Everything of one run; cameras and pairs hold only what the jobs reached.
struct CalibrationReport {
  // The ring the run calibrated: its number of cameras (pair n is (n, n + 1 mod it)) and the
  // frames its poses are given in (rig/ring.h). The jobs set them before recording pairs.
  int ringCameras = rig::kCameras;
  rig::PoseFrame poseFrame = rig::PoseFrame::kPrepared;
  std::vector<CameraReport> cameras;
  std::vector<PairReport> pairs;
  std::vector<JobOutcome> jobs;
  std::optional<double> adjustedClosureDeg;  // only when the ring adjustment ran

  // The record of camera `camera` or pair `pair`, created on first use.
  CameraReport& camera(int camera);
  PairReport& pair(int pair);
};

// Records the K and D that the extrinsic job read for a camera, unless the intrinsic job
// of the same run already recorded the values it solved (the file keeps them rounded).
void recordIntrinsicsInUse(CameraReport& camera, const cv::Matx33d& K, const cv::Vec4d& D);

// Records a pair's final pose: the refinement's median error, R and t, R's angles in
// degrees and the per-correspondence errors of the final pose.
void recordPose(PairReport& pair, double medianError, const rig::PairPose& pose,
                const cv::Vec3d& anglesDeg, std::vector<double> finalErrors);

}  // namespace ringcalib::report
