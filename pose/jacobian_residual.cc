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
  std::vector<double> errors(n);
  ringcalib::PointTerms terms;
  for (size_t i = 0; i < n; ++i) {
    ringcalib::evaluatePoint(projections, points3D[i], pts2[i], terms);
    const int row = static_cast<int>(2 * i);
    for (int k = 0; k < 6; ++k) {
      J.at<double>(row, k) = terms.jacobian[0][k];
      J.at<double>(row + 1, k) = terms.jacobian[1][k];
    }
    r.at<double>(row) = terms.residual[0];
    r.at<double>(row + 1) = terms.residual[1];
    errors[i] = terms.error;
  }

  std::vector<double> sample;
  for (size_t position : ringcalib::errorSamplePositions(n)) sample.push_back(errors[position]);
  const ringcalib::RobustWeighting weighting(std::move(sample));

  // Rows 2i and 2i + 1 of J are 12 consecutive doubles, as are r(2i) and r(2i + 1).
  for (size_t i = 0; i < n; ++i) {
    weighting.apply(errors[i], J.ptr<double>(static_cast<int>(2 * i)), 12);
    weighting.apply(errors[i], r.ptr<double>(static_cast<int>(2 * i)), 2);
  }
  return weighting.median();
}
