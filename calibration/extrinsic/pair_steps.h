#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "calibration/extrinsic/match_refinement.h"
#include "core/result_code.h"

// What each step of a pair's solve gives (ExtrinsicCalibration::matchPair, fitFundamental,
// estimatePose), as values that the job prints, the report reads and other jobs reuse.
namespace ringcalib::extrinsic {

constexpr int kMinMatches = 100;  // fewest correspondences accepted for a pair

// The correspondences of a pair: found by the flow in the two views warped toward each
// other (points in the warped views), and mapped back through the warps into the prepared
// views (pts1 in the first view, pts2 in the second).
struct PairMatches {
  cv::Mat warpedFirst;   // the warped views, only the strip's columns filled
  cv::Mat warpedSecond;
  cv::Range strip;
  std::vector<cv::Point2f> warped1;
  std::vector<cv::Point2f> warped2;
  std::vector<cv::Point2f> pts1;
  std::vector<cv::Point2f> pts2;
  // RANSAC's inliers measured again for the ring adjustment (--ring-adjust only; empty
  // otherwise).
  RefinedSamples refined;
};

// RANSAC's fundamental matrix refitted to its inliers (empty when none was found), and the
// mask of RANSAC's inliers, one byte per correspondence (empty when none was found).
struct FundamentalFit {
  cv::Mat F;
  std::vector<unsigned char> inliers;
};

// The pose step's result: X2 = R (X1 - t), |t| = 1; the refinement's median error
// (CPose::kNoPoseError when no pose resulted), and R's angle triple in degrees.
struct PoseEstimate {
  cv::Mat R;
  cv::Mat t;
  double error = 0.0;
  cv::Vec3d anglesDeg;
};

// A pair's solve: how far it got and what each step gave. `code` is kSuccess, or the code
// of the step that stopped it.
struct PairSolution {
  int code = kSuccess;
  bool matched = false;  // matches holds the correspondences
  bool fitted = false;   // fit.F is one 3 x 3 matrix of doubles
  bool posed = false;    // pose is a finite, refined pose
  PairMatches matches;
  FundamentalFit fit;
  PoseEstimate pose;
};

}  // namespace ringcalib::extrinsic
