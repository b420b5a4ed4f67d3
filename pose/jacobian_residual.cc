#include <vector>

#include "pose/cpose.h"
#include "pose/reprojection_terms.h"

double CPose::jacobianAndResidual(const std::vector<cv::Point2f>& pts1,
                                  const std::vector<cv::Point2f>& pts2,
                                  const std::vector<cv::Point3f>& points3D, cv::Mat K, cv::Mat R,
                                  cv::Mat t, cv::Mat& J, cv::Mat& r) const {
  const size_t n = pts1.size();
  CV_Assert(pts2.size() >= n && points3D.size() >= n);
  J = cv::Mat::zeros(static_cast<int>(2 * n), 6, CV_64F);
  r = cv::Mat::zeros(static_cast<int>(2 * n), 1, CV_64F);
  if (n == 0) return kNoPoseError;  // no error to take the median of

  const ringcalib::PerturbedProjections projections(K, R, t);
  std::vector<ringcalib::PointTerms> terms(n);
  for (size_t i = 0; i < n; ++i)
    ringcalib::evaluatePoint(projections, points3D[i], pts2[i], terms[i]);

  std::vector<double> sample;
  for (size_t position : ringcalib::errorSamplePositions(n))
    sample.push_back(terms[position].error);
  const ringcalib::RobustWeighting weighting(std::move(sample));

  for (size_t i = 0; i < n; ++i) {
    weighting.apply(terms[i]);
    for (int row = 0; row < 2; ++row) {
      const int index = static_cast<int>(2 * i) + row;
      r.at<double>(index) = terms[i].residual[row];
      for (int k = 0; k < 6; ++k) J.at<double>(index, k) = terms[i].jacobian[row][k];
    }
  }
  return weighting.median();
}
