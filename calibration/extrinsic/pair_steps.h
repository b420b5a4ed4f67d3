#pragma once

#include <iostream>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "calibration/extrinsic/match_refinement.h"
#include "core/result_code.h"
#include "rig/fisheye_lens.h"
#include "rig/pair_pose.h"
#include "rig/prepared_view.h"
#include "rig/ring.h"
#include "rig/ring_layout.h"

// The solve of one camera pair, step by step: correspondences, fundamental matrix, pose. Each
// step gives a value that the pair stage prints, the report reads and other jobs reuse.
namespace ringcalib::extrinsic {

constexpr int kMinMatches = 100;  // fewest correspondences accepted for a pair

// RANSAC's inlier threshold: the distance in pixels of a point from its epipolar line. (The
// report's consistency count measures another distance, the Sampson distance, with a limit
// of its own: rig::kSampsonLimitPx.)
constexpr double kRansacThresholdPx = 3.0;
constexpr double kRansacConfidence = 0.99;

// Where a pair's two views look, against the frames its pose is given in: the views' camera
// matrix K and the rotations that take each camera's pose-frame rays into its view. The
// standard rig's poses are those of its prepared views themselves (`prepared`); any other
// layout's views look along the pair's frame (rig/ring_layout.h), its poses are the sensor
// frames'.
struct PairView {
  cv::Matx33d K;
  bool prepared = true;
  int size = rig::kViewSize;  // the views are square
  cv::Matx33d first = cv::Matx33d::eye();
  cv::Matx33d second = cv::Matx33d::eye();

  // The pose between the two views, and back to the pose frames.
  rig::PairPose toViews(const rig::PairPose& pose) const;
  rig::PairPose fromViews(const rig::PairPose& viewPose) const;
  // The pose-frame ray of a pixel of the first view, of the second.
  cv::Vec3d firstRay(const cv::Point2f& pixel) const;
  cv::Vec3d secondRay(const cv::Point2f& pixel) const;
};

// The correspondences of a pair: found by the flow in the two views warped toward each
// other (points in the warped views), and where the pose is fitted (pts1 in the first view,
// pts2 in the second): mapped back through the warps into the prepared views, or the warped
// views' own points for a layout of another kind.
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

// The pose step's result: the pose, the refinement's median error and R's angle triple in
// degrees.
struct PoseEstimate {
  rig::PairPose pose;  // X2 = R (X1 - t), |t| = 1
  double error = 0.0;
  cv::Vec3d anglesDeg;
};

// A pair's solve as far as it got: each step's value exists once the step succeeded. `code`
// is kSuccess, or the code of the step that stopped it.
struct PairSolution {
  int code = kSuccess;
  PairView view;                           // where pts1 and pts2 lie
  std::optional<PairMatches> matches;
  std::optional<FundamentalFit> fit;       // F is one 3 x 3 matrix of doubles
  std::optional<PoseEstimate> estimate;    // a finite, refined pose
};

// Pair 0 ... N - 1, pair n = (n, n + 1 mod N).
using RingPairs = std::vector<PairSolution>;

// Correspondences of a pair from the prepared views of its cameras and their target camera
// matrices; library errors are thrown.
PairMatches matchPair(const cv::Mat& viewI, const cv::Mat& viewJ, const cv::Mat& KnewI,
                      const cv::Mat& KnewJ);

// The fundamental matrix of correspondences and RANSAC's inliers.
FundamentalFit fitFundamental(const std::vector<cv::Point2f>& pts1,
                              const std::vector<cv::Point2f>& pts2);

// Pose of the pair (i, j) from the prepared views of cameras i and j and their target camera
// matrices: the steps above, with the job's diagnostics printed to `out`. On success the pose
// has view i first, X_j = R (X_i - t). The code is 8 after the "too few matches" line, 9
// after one line naming the pair when the estimation fails.
PairSolution solvePair(int i, int j, const cv::Mat& viewI, const cv::Mat& viewJ,
                       const cv::Mat& KnewI, const cv::Mat& KnewJ, std::ostream& out = std::cout);

// Pose of pair (i, j) of a ring of another layout than the standard rig's: both stills
// rendered in the pair's frame (rig/ring_layout.h) as views of camera matrix `K` and
// `viewSize` pixels square, then the steps above. The pose is the sensor frames'.
PairSolution solvePairInFrame(int i, int j, const cv::Mat& stillI, const rig::FisheyeCamera& lensI,
                              const cv::Mat& stillJ, const rig::FisheyeCamera& lensJ,
                              const rig::PairFrame& frame, const cv::Matx33d& K, int viewSize,
                              std::ostream& out = std::cout);

// The second half of solvePair: the fundamental matrix of correspondences in the views of
// pair (i, j), the pose from it (CPose prints its timing line to `out`), taken back to the
// pose frames, and the diagnostics. The solution has no matches; its code is 9, after one
// line naming the pair, when no fundamental matrix or no finite, refined pose results.
PairSolution poseFromMatches(int i, int j, const std::vector<cv::Point2f>& pts1,
                             const std::vector<cv::Point2f>& pts2, const PairView& view,
                             std::ostream& out = std::cout);

}  // namespace ringcalib::extrinsic
