#include <cstdint>
#include <ctime>
#include <iostream>

#include "calibration/gbk_text.h"
#include "pose/cpose.h"

namespace {

constexpr int kRefinementIterations = 100;

bool isFiniteDouble3x3(const cv::Mat& m) {
  return !m.empty() && m.dims == 2 && m.rows == 3 && m.cols == 3 && m.type() == CV_64F &&
         cv::checkRange(m);
}

}  // namespace

double CPose::decomposeRtFromFundamentalMat(const std::vector<cv::Point2f>& pts1,
                                            const std::vector<cv::Point2f>& pts2,
                                            const cv::Mat& K, const cv::Mat& F, cv::Mat& R,
                                            cv::Mat& t) const {
  if (!isFiniteDouble3x3(K) || !isFiniteDouble3x3(F) || pts2.size() < pts1.size())
    return kNoPoseError;

  const cv::Mat E = K.t() * F * K;
  cv::Mat rotation = cv::Mat::eye(3, 3, CV_64F);
  cv::Mat tSkew = cv::Mat::zeros(3, 3, CV_64F);
  solveRT(E, K, pts1, pts2, rotation, tSkew);

  // Only the rotation of the decomposition is used. On the ring the next camera sits to the
  // side of and slightly behind the current one, so the refinement starts t from that fixed
  // direction, whatever sign the decomposition gave.
  cv::Mat translation = (cv::Mat_<double>(3, 1) << 0.8, 0.0, -0.4);
  const std::clock_t start = std::clock();
  const double error =
      optimizeRt(pts1, pts2, K, rotation, translation, kRefinementIterations);
  const std::clock_t end = std::clock();
  std::cout << ringcalib::gbk::kOptimisationTime << static_cast<std::int64_t>(end - start)
            << std::endl;

  rotation.copyTo(R);
  translation.copyTo(t);
  return error;
}
