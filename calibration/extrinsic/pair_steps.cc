// One camera pair of the extrinsic job: warps, correspondences, fundamental matrix, pose.
#include "calibration/extrinsic/pair_steps.h"

#include <iostream>
#include <string>

#include <opencv2/calib3d.hpp>

#include "calibration/extrinsic/dense_flow_matches.h"
#include "calibration/extrinsic/image_orientation.h"
#include "calibration/extrinsic/still_views.h"
#include "core/gbk_text.h"
#include "core/job_guard.h"
#include "pose/angles.h"
#include "pose/cpose.h"
#include "rig/prepared_view.h"
#include "rig/ring_frame.h"

namespace ringcalib::extrinsic {

namespace {

PairSolution pairFailed(PairSolution solution, std::ostream& out, int i, int j,
                        const std::string& cause) {
  out << "extrinsic calibration of pair " << i << "-" << j << " failed: " << cause << std::endl;
  solution.code = kComputationFailed;
  return solution;
}

bool isFiniteMatrix(const cv::Mat& m, int rows, int cols) {
  return m.rows == rows && m.cols == cols && m.type() == CV_64F && cv::checkRange(m);
}

}  // namespace

rig::PairPose PairView::toViews(const rig::PairPose& pose) const {
  return {second * pose.R * first.t(), first * pose.t};
}

rig::PairPose PairView::fromViews(const rig::PairPose& viewPose) const {
  return {second.t() * viewPose.R * first, first.t() * viewPose.t};
}

cv::Vec3d PairView::firstRay(const cv::Point2f& pixel) const {
  if (prepared) return rig::poseFrameRay(pixel);
  return first.t() * cv::Vec3d((pixel.x - K(0, 2)) / K(0, 0), (pixel.y - K(1, 2)) / K(1, 1), 1.0);
}

cv::Vec3d PairView::secondRay(const cv::Point2f& pixel) const {
  if (prepared) return rig::poseFrameRay(pixel);
  return second.t() * cv::Vec3d((pixel.x - K(0, 2)) / K(0, 0), (pixel.y - K(1, 2)) / K(1, 1), 1.0);
}

PairMatches matchPair(const cv::Mat& viewI, const cv::Mat& viewJ, const cv::Mat& KnewI,
                      const cv::Mat& KnewJ) {
  const cv::Mat P(rig::pairRotation());
  const cv::Mat Pt = P.t();
  // The two views turned toward each other overlap in their central strips, the only part
  // the flow reads. The warps give buffers of their own; the prepared views stay as they are.
  PairMatches matches;
  matches.warpedFirst = viewI;
  matches.warpedSecond = viewJ;
  matches.strip = rig::flowStripColumns(viewI.cols);
  rotateImageColumns(matches.warpedFirst, Pt, KnewI, matches.strip);
  rotateImageColumns(matches.warpedSecond, P, KnewJ, matches.strip);
  matchesFromDenseOpticalFlow(matches.warpedFirst, matches.warpedSecond, matches.warped1,
                              matches.warped2);
  // Back through the warps' own homographies: the points land where the warped pixels were
  // sampled in the prepared views.
  matches.pts1 = matches.warped1;
  matches.pts2 = matches.warped2;
  rotatePoints(Pt, matches.pts1, KnewI);
  rotatePoints(P, matches.pts2, KnewJ);
  return matches;
}

// RANSAC returns the 7-point model of its best sample. Refitted to all of that model's
// inliers by the normalised 8-point least squares, F uses every match: the rotation that the
// pose step decomposes from it starts about ten times closer to the truth, and the pose
// refinement corrects little of a poor start. An empty or unusable model is returned as
// RANSAC gave it.
FundamentalFit fitFundamental(const std::vector<cv::Point2f>& pts1,
                              const std::vector<cv::Point2f>& pts2) {
  FundamentalFit fit;
  cv::Mat inliers;
  fit.F = cv::findFundamentalMat(pts1, pts2, cv::FM_RANSAC, kRansacThresholdPx,
                                 kRansacConfidence, inliers);
  if (fit.F.rows != 3 || fit.F.cols != 3 || inliers.total() != pts1.size()) return fit;
  fit.inliers.assign(inliers.ptr<uchar>(), inliers.ptr<uchar>() + inliers.total());
  std::vector<cv::Point2f> inliers1;
  std::vector<cv::Point2f> inliers2;
  for (std::size_t k = 0; k < pts1.size(); ++k) {
    if (fit.inliers[k] == 0) continue;
    inliers1.push_back(pts1[k]);
    inliers2.push_back(pts2[k]);
  }
  if (inliers1.size() < 8) return fit;
  const cv::Mat refit = cv::findFundamentalMat(inliers1, inliers2, cv::FM_8POINT);
  if (refit.rows == 3 && refit.cols == 3) fit.F = refit;
  return fit;
}

namespace {

// The rest of a pair's solve from its correspondences: too few end it with 8 after the line
// that says so; otherwise the pose from them.
PairSolution solveMatched(int i, int j, PairMatches matches, const PairView& view, std::ostream& out) {
  const std::size_t count = matches.pts1.size();
  PairSolution solution;
  if (count < static_cast<std::size_t>(kMinMatches)) {
    out << gbk::kPairIdPrefix << i << " " << j << gbk::kTooFewMatchesText << count << "<"
        << kMinMatches << std::endl;
    solution.code = kTooFewMatches;
    solution.view = view;
  } else {
    solution = poseFromMatches(i, j, matches.pts1, matches.pts2, view, out);
  }
  solution.matches = std::move(matches);
  return solution;
}

}  // namespace

PairSolution solvePair(int i, int j, const cv::Mat& viewI, const cv::Mat& viewJ,
                       const cv::Mat& KnewI, const cv::Mat& KnewJ, std::ostream& out) {
  PairMatches matches;
  try {
    matches = matchPair(viewI, viewJ, KnewI, KnewJ);
  } catch (const std::exception& e) {
    return pairFailed(PairSolution(), out, i, j, describeException(e));
  }
  PairView view;
  view.K = cv::Matx33d(KnewI);
  return solveMatched(i, j, std::move(matches), view, out);
}

PairSolution solvePairInFrame(int i, int j, const cv::Mat& stillI, const rig::FisheyeCamera& lensI,
                              const cv::Mat& stillJ, const rig::FisheyeCamera& lensJ,
                              const rig::PairFrame& frame, const cv::Matx33d& K, int viewSize,
                              std::ostream& out) {
  PairMatches matches;
  try {
    matches.strip = rig::flowStripColumns(viewSize);
    matches.warpedFirst = viewOfStill(stillI, lensI, frame.first, K, viewSize, matches.strip);
    matches.warpedSecond = viewOfStill(stillJ, lensJ, frame.second, K, viewSize, matches.strip);
    matchesFromDenseOpticalFlow(matches.warpedFirst, matches.warpedSecond, matches.warped1, matches.warped2);
  } catch (const std::exception& e) {
    return pairFailed(PairSolution(), out, i, j, describeException(e));
  }
  // Both views are pinhole views of one camera matrix: the pose is fitted where the flow found
  // the points, then turned back into the sensor frames.
  matches.pts1 = matches.warped1;
  matches.pts2 = matches.warped2;
  return solveMatched(i, j, std::move(matches), PairView{K, false, viewSize, frame.first, frame.second}, out);
}

PairSolution poseFromMatches(int i, int j, const std::vector<cv::Point2f>& pts1,
                             const std::vector<cv::Point2f>& pts2, const PairView& view,
                             std::ostream& out) {
  PairSolution solution;
  solution.view = view;
  FundamentalFit fit;
  try {
    fit = fitFundamental(pts1, pts2);
  } catch (const std::exception& e) {
    return pairFailed(std::move(solution), out, i, j, describeException(e));
  }
  const cv::Mat& F = fit.F;
  out << "pts1.size, pts2.size: " << pts1.size() << " " << pts2.size() << std::endl;
  out << "F " << std::endl << F << std::endl;
  // Degenerate correspondences (a pure rotation, points on a line) leave RANSAC without a
  // model; the pose step needs exactly one 3x3 matrix.
  if (F.empty()) {
    return pairFailed(
        std::move(solution), out, i, j,
        "no fundamental matrix fits the " + std::to_string(pts1.size()) + " correspondences");
  }
  if (F.rows != 3 || F.cols != 3 || F.type() != CV_64F) {
    return pairFailed(std::move(solution), out, i, j,
                      "the fundamental matrix is " + std::to_string(F.rows) + "x" +
                          std::to_string(F.cols) + ", not 3x3");
  }
  solution.fit = std::move(fit);

  cv::Mat R;
  cv::Mat t;
  double error = CPose::kNoPoseError;
  try {
    error = CPose().decomposeRtFromFundamentalMat(pts1, pts2, cv::Mat(view.K), solution.fit->F, R, t, out);
  } catch (const std::exception& e) {
    return pairFailed(std::move(solution), out, i, j, describeException(e));
  }
  // The refinement keeps its starting pose when no iteration improved the median error
  // (for example when every error is NaN); that pose says nothing about the pair.
  if (!(error < CPose::kNoPoseError)) {
    return pairFailed(std::move(solution), out, i, j, "the pose step found no usable pose");
  }
  if (!isFiniteMatrix(R, 3, 3) || !isFiniteMatrix(t, 3, 1)) {
    return pairFailed(std::move(solution), out, i, j, "the estimated pose is not finite");
  }
  if (!view.prepared) {
    const rig::PairPose pose = view.fromViews({cv::Matx33d(R), cv::Vec3d(t)});
    R = cv::Mat(pose.R);
    t = cv::Mat(pose.t);
  }
  const PoseEstimate& estimate = solution.estimate.emplace(
      PoseEstimate{{cv::Matx33d(R), cv::Vec3d(t)}, error, eulerAnglesDeg(R)});
  out << "R: " << estimate.anglesDeg[0] << " " << estimate.anglesDeg[1] << " "
      << estimate.anglesDeg[2] << std::endl;
  out << "t: " << cv::Mat(t.t()) << std::endl;
  return solution;
}

}  // namespace ringcalib::extrinsic
