// One camera pair of the extrinsic job: warps, correspondences, fundamental matrix, pose.
#include <iostream>
#include <string>

#include <opencv2/calib3d.hpp>

#include "calibration/extrinsic_calibration.h"
#include "calibration/extrinsic_geometry.h"
#include "core/gbk_text.h"
#include "core/job_guard.h"
#include "core/result_code.h"
#include "pose/cpose.h"
#include "report/assessment.h"
#include "report/epipolar_consistency.h"
#include "report/pose_errors.h"
#include "report/view_samples.h"

using namespace ringcalib::extrinsic;

namespace {

constexpr double kRansacThreshold = 3.0;  // pixels from the epipolar line
constexpr double kRansacConfidence = 0.99;

int pairFailed(std::ostream& out, int i, int j, const std::string& cause) {
  out << "extrinsic calibration of pair " << i << "-" << j << " failed: " << cause
            << std::endl;
  return ringcalib::kComputationFailed;
}

// RANSAC returns the 7-point model of its best sample. Refitted to all of that model's
// inliers by the normalised 8-point least squares, F uses every match: the rotation that
// the pose step decomposes from it starts about ten times closer to the truth, and the
// pose refinement corrects little of a poor start. An empty or unusable model is returned
// as RANSAC gave it.
cv::Mat fundamentalMatrix(const std::vector<cv::Point2f>& pts1,
                          const std::vector<cv::Point2f>& pts2) {
  cv::Mat inliers;
  const cv::Mat F = cv::findFundamentalMat(pts1, pts2, cv::FM_RANSAC, kRansacThreshold,
                                           kRansacConfidence, inliers);
  if (F.rows != 3 || F.cols != 3 || inliers.total() != pts1.size()) return F;
  std::vector<cv::Point2f> inliers1;
  std::vector<cv::Point2f> inliers2;
  for (std::size_t k = 0; k < pts1.size(); ++k) {
    if (inliers.at<uchar>(static_cast<int>(k)) == 0) continue;
    inliers1.push_back(pts1[k]);
    inliers2.push_back(pts2[k]);
  }
  if (inliers1.size() < 8) return F;
  const cv::Mat refit = cv::findFundamentalMat(inliers1, inliers2, cv::FM_8POINT);
  return refit.rows == 3 && refit.cols == 3 ? refit : F;
}

bool isFiniteMatrix(const cv::Mat& m, int rows, int cols) {
  return m.rows == rows && m.cols == cols && m.type() == CV_64F && cv::checkRange(m);
}

}  // namespace

int ExtrinsicCalibration::solvePair(int i, int j, const cv::Mat& viewI, const cv::Mat& viewJ,
                                    const cv::Mat& KnewI, const cv::Mat& KnewJ, cv::Mat& R,
                                    cv::Mat& t, std::ostream& out,
                                    ringcalib::report::PairReport* record) {
  const cv::Mat P = pairRotation();
  const cv::Mat Pt = P.t();
  std::vector<cv::Point2f> pts1;
  std::vector<cv::Point2f> pts2;
  try {
    // The two views turned toward each other overlap in their central strips, the only
    // part the flow reads. The warps give A and B buffers of their own; the prepared views
    // stay as they are.
    cv::Mat A = viewI;
    cv::Mat B = viewJ;
    const cv::Range strip = flowStripColumns(A.cols);
    rotateImageColumns(A, Pt, KnewI, strip);
    rotateImageColumns(B, P, KnewJ, strip);
    matchesFromDenseOpticalFlow(A, B, pts1, pts2);
    if (record != nullptr) {
      record->correspondences = static_cast<int>(pts1.size());
      ringcalib::report::recordStrips(*record, A, B, strip.start, strip.size(), pts1, pts2);
    }
    if (pts1.size() < static_cast<std::size_t>(kMinMatches)) {
      out << ringcalib::gbk::kPairIdPrefix << i << " " << j
                << ringcalib::gbk::kTooFewMatchesText << pts1.size() << "<100" << std::endl;
      return ringcalib::kTooFewMatches;
    }
    // Back through the warps' own homographies: the points land where the warped pixels
    // were sampled in the prepared views.
    rotatePoints(Pt, pts1, KnewI);
    rotatePoints(P, pts2, KnewJ);
  } catch (const std::exception& e) {
    return pairFailed(out, i, j, ringcalib::describeException(e));
  }
  return poseFromMatches(i, j, pts1, pts2, KnewI, R, t, out, record);
}

int ExtrinsicCalibration::poseFromMatches(int i, int j, const std::vector<cv::Point2f>& pts1,
                                          const std::vector<cv::Point2f>& pts2,
                                          const cv::Mat& KnewI, cv::Mat& R, cv::Mat& t,
                                          std::ostream& out,
                                          ringcalib::report::PairReport* record) {
  cv::Mat F;
  try {
    F = fundamentalMatrix(pts1, pts2);
  } catch (const std::exception& e) {
    return pairFailed(out, i, j, ringcalib::describeException(e));
  }
  out << "pts1.size, pts2.size: " << pts1.size() << " " << pts2.size() << std::endl;
  out << "F " << std::endl << F << std::endl;
  // Degenerate correspondences (a pure rotation, points on a line) leave RANSAC without a
  // model; the pose step needs exactly one 3x3 matrix.
  if (F.empty()) {
    return pairFailed(
        out, i, j, "no fundamental matrix fits the " + std::to_string(pts1.size()) + " correspondences");
  }
  if (F.rows != 3 || F.cols != 3 || F.type() != CV_64F) {
    return pairFailed(out, i, j,
                      "the fundamental matrix is " + std::to_string(F.rows) + "x" +
                          std::to_string(F.cols) + ", not 3x3");
  }

  if (record != nullptr) {
    record->consistentWithF = ringcalib::report::countConsistentWithF(
        pts1, pts2, F, ringcalib::report::kSampsonLimitPx);
  }

  CPose pose;
  cv::Mat Rpair;
  cv::Mat tpair;
  double error = CPose::kNoPoseError;
  try {
    error = pose.decomposeRtFromFundamentalMat(pts1, pts2, KnewI, F, Rpair, tpair, out);
  } catch (const std::exception& e) {
    return pairFailed(out, i, j, ringcalib::describeException(e));
  }
  // The refinement keeps its starting pose when no iteration improved the median error
  // (for example when every error is NaN); that pose says nothing about the pair.
  if (!(error < CPose::kNoPoseError)) {
    return pairFailed(out, i, j, "the pose step found no usable pose");
  }
  if (!isFiniteMatrix(Rpair, 3, 3) || !isFiniteMatrix(tpair, 3, 1)) {
    return pairFailed(out, i, j, "the estimated pose is not finite");
  }

  double x = 0;
  double y = 0;
  double z = 0;
  pose.rotationToEuler(Rpair, x, y, z);
  out << "R: " << x * 180 / CPose::PI << " " << y * 180 / CPose::PI << " "
      << z * 180 / CPose::PI << std::endl;
  out << "t: " << cv::Mat(tpair.t()) << std::endl;
  if (record != nullptr) {
    ringcalib::report::recordPose(*record, error, Rpair, tpair,
                                  cv::Vec3d(x * 180 / CPose::PI, y * 180 / CPose::PI,
                                            z * 180 / CPose::PI),
                                  ringcalib::report::poseReprojectionErrors(pts1, pts2, KnewI,
                                                                            Rpair, tpair));
  }
  R = Rpair.clone();
  t = tpair.clone();
  return ringcalib::kSuccess;
}
