#include "rig/epipolar_consistency.h"

#include <cmath>

#include "rig/pair_pose.h"

namespace ringcalib::rig {

int countConsistentWithF(const std::vector<cv::Point2f>& pts1,
                         const std::vector<cv::Point2f>& pts2, const cv::Mat& F,
                         double limitPx) {
  if (F.rows != 3 || F.cols != 3) return -1;
  cv::Matx33d f;
  F.convertTo(f, CV_64F);
  int consistent = 0;
  const std::size_t count = std::min(pts1.size(), pts2.size());
  for (std::size_t i = 0; i < count; ++i) {
    // A NaN distance (zero gradient) compares false and is not counted.
    if (std::abs(sampsonError(f, pts1[i], pts2[i])) <= limitPx) ++consistent;
  }
  return consistent;
}

}  // namespace ringcalib::rig
