#include <cmath>
#include <cstdint>
#include <ctime>
#include <iostream>

#include "core/gbk_text.h"
#include "pose/cpose.h"
#include "pose/pose_geometry.h"

namespace {

constexpr int kRefinementIterations = 100;

bool isFiniteDouble3x3(const cv::Mat& m) {
  return !m.empty() && m.dims == 2 && m.rows == 3 && m.cols == 3 && m.type() == CV_64F &&
         cv::checkRange(m);
}

// The refinement's starting translation: the direction of the decomposition candidate that
// passed the depth test, or the ring's usual direction (0.8, 0, -0.4) when none passed.
//
// The refinement holds the triangulated points fixed in its derivatives, so the component of
// t across the epipolar plane of a poor start is hardly observable: from the fixed start a
// vertical offset of a few centimetres between neighbours is never recovered, and a pitch of
// up to 0.1 degrees absorbs it. The decomposition's direction is already close to the truth.
cv::Mat startingTranslation(const cv::Mat& tSkew) {
  const cv::Vec3d found = ringcalib::translationOfSkew(cv::Matx33d(tSkew));
  const double length = cv::norm(found);
  if (std::isfinite(length) && length > 0.0) return cv::Mat(found / length);
  return (cv::Mat_<double>(3, 1) << 0.8, 0.0, -0.4);
}

// Processor time of the calling thread, in clock() ticks. The pairs are solved on worker
// threads side by side; clock() would count the other workers' time as well, where one
// thread alone measures the refinement's own.
std::int64_t threadProcessorTicks() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<std::int64_t>(now.tv_sec) * CLOCKS_PER_SEC +
         static_cast<std::int64_t>(now.tv_nsec) / (1000000000 / CLOCKS_PER_SEC);
}

}  // namespace

double CPose::decomposeRtFromFundamentalMat(const std::vector<cv::Point2f>& pts1,
                                            const std::vector<cv::Point2f>& pts2,
                                            const cv::Mat& K, const cv::Mat& F, cv::Mat& R,
                                            cv::Mat& t, std::ostream& out) const {
  if (!isFiniteDouble3x3(K) || !isFiniteDouble3x3(F) || pts2.size() < pts1.size())
    return kNoPoseError;

  const cv::Mat E = K.t() * F * K;
  cv::Mat rotation = cv::Mat::eye(3, 3, CV_64F);
  cv::Mat tSkew = cv::Mat::zeros(3, 3, CV_64F);
  solveRT(E, K, pts1, pts2, rotation, tSkew);

  cv::Mat translation = startingTranslation(tSkew);
  const std::int64_t start = threadProcessorTicks();
  const double error =
      optimizeRt(pts1, pts2, K, rotation, translation, kRefinementIterations);
  const std::int64_t end = threadProcessorTicks();
  out << ringcalib::gbk::kOptimisationTime << end - start << std::endl;

  rotation.copyTo(R);
  translation.copyTo(t);
  return error;
}
