#include "report/epipolar_consistency.h"

#include <cmath>

namespace ringcalib::report {

double sampsonDistance(const cv::Matx33d& F, const cv::Point2f& x1, const cv::Point2f& x2) {
  const cv::Vec3d a(x1.x, x1.y, 1.0);
  const cv::Vec3d b(x2.x, x2.y, 1.0);
  const cv::Vec3d Fa = F * a;
  const cv::Vec3d Ftb = F.t() * b;
  const double gradient = std::sqrt(Fa[0] * Fa[0] + Fa[1] * Fa[1] + Ftb[0] * Ftb[0] +
                                    Ftb[1] * Ftb[1]);
  return std::abs(b.dot(Fa)) / gradient;
}

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
    if (sampsonDistance(f, pts1[i], pts2[i]) <= limitPx) ++consistent;
  }
  return consistent;
}

}  // namespace ringcalib::report
