#pragma once

#include <array>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <opencv2/core.hpp>

#include "core/input_param.h"
#include "rig/pair_steps.h"
#include "report/report_data.h"
#include "rig/parameter_document.h"
#include "rig/ring.h"

// The extrinsic job: one still per camera to the relative pose of each neighbouring pair.
class ExtrinsicCalibration {
 public:
  // Runs the job on the first --image folder and rewrites the parameter file with the six
  // poses added, once they close the ring (checkRingCloses). Returns a result code
  // (core/result_code.h); on failure the file stays as it was.
  int Calibrate(const std::vector<std::string>& imagePaths, const std::string& file,
                const InputParam::CalibrationType& type);

  // The job's two halves, which the check of a stored calibration shares. loadDocument
  // loads and checks the parameter file (kept open until the intrinsics are read) and that an
  // image folder was given; it returns a result code after the job's line. solveRing reads the
  // stills of the first folder and the cameras' intrinsics, prepares the views and solves the
  // six pairs, printing the progress (within `share`, as progressShare gives it) and, when
  // `pairDiagnostics`, each pair's lines; without them only a pair's failure line. It returns
  // kSuccess with every pair solved, or the first failure's code.
  int loadDocument(const std::string& file, const std::vector<std::string>& imagePaths);
  int solveRing(const std::vector<std::string>& imagePaths, const std::string& file, double share,
                bool pairDiagnostics,
                std::array<ringcalib::extrinsic::PairSolution, ringcalib::rig::kCameras>& solutions);

  // Reads camera `id`'s K (fx, fy, cx, cy; K(2,2) = 1) and D from the document. Returns 0,
  // or 4 after printing "read intrinsic param failed : " and the library's text.
  int readCameraParams(cv::Matx<double, 3, 3>& K, cv::Vec<double, 4>& D, const int& id);

  // Enters pair `id`'s R (3x3) and T (3x1) as camera `id`'s pose in the document. Returns
  // 0, or 6 after printing "write extrinsic param failed : " and the library's text.
  int writeExtrinsicParam(const cv::Mat& R, const cv::Mat& T, const int& id);

  // Image orientation (8-bit images, any channel count). rotate90 and rotateImage point
  // `image` at a new buffer; other headers that share the old data keep the old content.

  // Raises every zero sample to 1, in place, so that 0 marks "no source" after the warps.
  void setNonZero(cv::Mat& image);

  // Quarter turn counter-clockwise: result pixel (r, k) is source pixel (k, cols - 1 - r).
  void rotate90(cv::Mat& image);

  // Inverse warp through H = K R K^-1: result pixel p samples the source bilinearly at H p.
  // The 2x2 block must start inside the image (truncated position in [0, size - 2]), else
  // the pixel is 0; values interpolated beyond the block are clamped to 0..255.
  void rotateImage(cv::Mat& image, cv::Mat R, cv::Mat K);

  // rotateImage for the given columns only; every other column of the result is 0. The
  // pairs need only the strip that the flow reads (flowStripColumns), 30 % of the work.
  void rotateImageColumns(cv::Mat& image, const cv::Mat& R, const cv::Mat& K,
                          const cv::Range& columns);

  // Maps every point through H = K R K^-1, in place (the same H as rotateImage).
  void rotatePoints(cv::Mat R, std::vector<cv::Point2f>& points, const cv::Mat& K);

  // Correspondences between two 8-bit one-channel views from DIS flow on their central
  // 30 % strip: forward flow sampled on a 5-pixel grid, kept when the backward flow at the
  // truncated target undoes it within 1 px and the target lies strictly inside the strip.
  // Appends to pts1 (in I1) and pts2 (in I2), in full-image coordinates.
  void matchesFromDenseOpticalFlow(const cv::Mat& I1, const cv::Mat& I2,
                                   std::vector<cv::Point2f>& pts1, std::vector<cv::Point2f>& pts2);

  // The steps of a pair's solve, each returning what it found (rig/pair_steps.h).
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

  // The ring adjustment of six solved pairs: prints its block to `out` and puts the
  // adjusted poses (file convention) into `poses`. Returns 0, or 9 after one line naming
  // the cause when it gives no trustworthy answer.
  int adjustRing(
      const std::array<const ringcalib::extrinsic::PairSolution*, ringcalib::rig::kCameras>& pairs,
      std::array<ringcalib::rig::PairPose, ringcalib::rig::kCameras>& poses,
      std::ostream& out = std::cout);

 private:
  int calibrate(const std::vector<std::string>& imagePaths, const std::string& file,
                const InputParam::CalibrationType& type);

  // Undistorts a camera's still to the target pinhole view and turns it upright.
  void prepareView(const cv::Mat& grey, const cv::Matx33d& K, const cv::Vec4d& D,
                   const cv::Mat& Knew, cv::Mat& view);

  std::ifstream in_;
  ringcalib::rig::ParameterDocument document_;
  ringcalib::report::CalibrationReport* report_ = nullptr;
  bool ringAdjust_ = false;
};
