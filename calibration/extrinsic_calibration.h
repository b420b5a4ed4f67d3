#pragma once

#include <array>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <opencv2/core.hpp>

#include "adjust/ring_input.h"
#include "core/input_param.h"
#include "calibration/pair_steps.h"
#include "report/report_data.h"
#include "rig/parameter_document.h"
#include "rig/ring.h"

namespace ringcalib::extrinsic {

// What the first stage gives: every camera's still as an upright view of the common pinhole
// camera (rig/prepared_view.h).
struct PreparedViews {
  std::array<cv::Mat, rig::kCameras> views;
};

// What the pair stage gives: pair 0 ... 5 as far as each solve got.
using RingPairs = std::array<PairSolution, rig::kCameras>;

// What the pair stage prints of a pair: all its lines (the extrinsic job), or only the line
// that says why it failed (the check).
enum class PairLines { kAll, kFailureOnly };

}  // namespace ringcalib::extrinsic

// The extrinsic job: one still per camera to the relative pose of each neighbouring pair.
// Its stages, each with a typed result: prepare the views, solve the pairs, test the ring,
// adjust the ring (--ring-adjust), store the poses. The check of a stored calibration
// composes the first three.
class ExtrinsicCalibration {
 public:
  // Runs the job on the first --image folder and rewrites the parameter file with the six
  // poses added, once they close the ring (checkRingCloses). Returns a result code
  // (core/result_code.h); on failure the file stays as it was.
  int Calibrate(const std::vector<std::string>& imagePaths, const std::string& file,
                const InputParam::CalibrationType& type);

  // Loads and checks the parameter file and that an image folder was given; returns a
  // result code after the job's line.
  int loadDocument(const std::string& file, const std::vector<std::string>& imagePaths);

  // Prepare: reads the stills origin_<n>.jpg of `folder` and the cameras' intrinsics from the
  // loaded document (`file` names it in messages), checks them and prepares the views,
  // printing the progress. Returns kSuccess or the first failure's code.
  int prepareViews(const std::string& folder, const std::string& file,
                   ringcalib::extrinsic::PreparedViews& prepared);

  // Pair: solves the six pairs of the prepared views, printing their lines as `lines` says
  // and the progress. Returns kSuccess with every pair solved, or the first failure's code.
  int solvePairs(const ringcalib::extrinsic::PreparedViews& prepared,
                 ringcalib::extrinsic::PairLines lines, ringcalib::extrinsic::RingPairs& pairs);

  // Ring: a wrong pair can pass every test of its own; the six composed around the ring
  // show it, and its pose must not be used (checkRingCloses).
  static int checkRing(const ringcalib::extrinsic::RingPairs& pairs);

  // Store: the six poses (file convention) entered into the document, which replaces `file`
  // in one piece.
  int storePoses(const std::array<ringcalib::rig::PairPose, ringcalib::rig::kCameras>& poses,
                 const std::string& file);

  // Reads camera `id`'s K (fx, fy, cx, cy; K(2,2) = 1) and D from the document. Returns 0,
  // or 4 after printing "read intrinsic param failed : " and the library's text.
  int readCameraParams(cv::Matx<double, 3, 3>& K, cv::Vec<double, 4>& D, const int& id);

  // Enters pair `id`'s R (3x3) and T (3x1) as camera `id`'s pose in the document. Returns
  // 0, or 6 after printing "write extrinsic param failed : " and the library's text.
  int writeExtrinsicParam(const cv::Mat& R, const cv::Mat& T, const int& id);

  // The steps of a pair's solve, each returning what it found (calibration/pair_steps.h).
  // Correspondences of the pair from the prepared views of its cameras and their target
  // camera matrices; library errors are thrown.
  ringcalib::extrinsic::PairMatches matchPair(const cv::Mat& viewI, const cv::Mat& viewJ,
                                              const cv::Mat& KnewI, const cv::Mat& KnewJ);
  // The fundamental matrix of correspondences and RANSAC's inliers.
  ringcalib::extrinsic::FundamentalFit fitFundamental(const std::vector<cv::Point2f>& pts1,
                                                      const std::vector<cv::Point2f>& pts2);
  // The pose from F (CPose::decomposeRtFromFundamentalMat, which prints its timing line to
  // `out`) and its angles.
  ringcalib::extrinsic::PoseEstimate estimatePose(const std::vector<cv::Point2f>& pts1,
                                                  const std::vector<cv::Point2f>& pts2,
                                                  const cv::Mat& K, const cv::Mat& F,
                                                  std::ostream& out);

  // Pose of the pair (i, j) from the prepared views of cameras i and j and their target
  // camera matrices: the steps above, with the job's diagnostics printed to `out`. What each
  // step gave goes to `solution`; on success its pose has view i first, X_j = R (X_i - t).
  // Returns 0; 8 after the "too few matches" line; 9 after one line naming the pair when the
  // estimation fails.
  int solvePair(int i, int j, const cv::Mat& viewI, const cv::Mat& viewJ, const cv::Mat& KnewI,
                const cv::Mat& KnewJ, ringcalib::extrinsic::PairSolution& solution,
                std::ostream& out = std::cout);

  // The second half of solvePair: the fundamental matrix of correspondences in the prepared
  // views of pair (i, j), the pose from it (camera matrix KnewI) and the diagnostics.
  // Returns 0, or 9 after one line naming the pair when no fundamental matrix or no finite,
  // refined pose results.
  int poseFromMatches(int i, int j, const std::vector<cv::Point2f>& pts1,
                      const std::vector<cv::Point2f>& pts2, const cv::Mat& KnewI,
                      ringcalib::extrinsic::PairSolution& solution, std::ostream& out = std::cout);

  // The document as loaded and extended (tests read it).
  nlohmann::json& document() { return document_.content(); }
  const ringcalib::rig::ParameterDocument& parameters() const { return document_; }

  // Where the job records what a calibration report shows. Null (the default) records
  // nothing and costs nothing; the job computes and prints the same either way.
  void setReport(ringcalib::report::CalibrationReport* report) { report_ = report; }

  // --ring-adjust: after the six pairs, the poses are adjusted together (adjust/) and the
  // adjusted poses written instead. Off by default.
  void setRingAdjust(bool on) { ringAdjust_ = on; }

  // The covariance of each camera's intrinsics from the intrinsic job of the same run: with
  // all six, the ring adjustment's sigma carries the intrinsics' share. None by default
  // (intrinsics from a file: their uncertainty is not known).
  void setLensCovariances(const ringcalib::rig::LensCovariances& covariances) {
    lensCovariances_ = covariances;
  }

  // The ring adjustment of six solved pairs: prints its block to `out` and puts the
  // adjusted poses (file convention) into `poses`. Returns 0, or 9 after one line naming
  // the cause when it gives no trustworthy answer.
  int adjustRing(
      const std::array<const ringcalib::extrinsic::PairSolution*, ringcalib::rig::kCameras>& pairs,
      std::array<ringcalib::rig::PairPose, ringcalib::rig::kCameras>& poses,
      std::ostream& out = std::cout);

 private:
  int calibrate(const std::vector<std::string>& imagePaths, const std::string& file);
  std::optional<ringcalib::adjust::UncertainLenses> uncertainLenses() const;

  ringcalib::rig::ParameterDocument document_;
  ringcalib::report::CalibrationReport* report_ = nullptr;
  bool ringAdjust_ = false;
  ringcalib::rig::LensCovariances lensCovariances_;
  // The share of the run's progress the job reports in (extrinsic_progress.h): all of it
  // alone, the last tenth after the intrinsic job.
  double progressShare_ = 1.0;
};
