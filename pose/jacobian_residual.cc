#include <vector>

#include "pose/cpose.h"
#include "pose/reprojection_terms.h"

double CPose::jacobianAndResidual(const std::vector<cv::Point2f>& pts1,
                                  const std::vector<cv::Point2f>& pts2,
                                  const std::vector<cv::Point3f>& points3D, cv::Mat K, cv::Mat R,
                                  cv::Mat t, cv::Mat& J, cv::Mat& r) const {
  using ringcalib::widened;
  const size_t n = pts1.size();
  CV_Assert(pts2.size() >= n && points3D.size() >= n);
  J = cv::Mat::zeros(static_cast<int>(2 * n), 6, CV_64F);
  r = cv::Mat::zeros(static_cast<int>(2 * n), 1, CV_64F);
  if (n == 0) return kNoPoseError;  // no error to take the median of

  const ringcalib::PerturbedProjections projections(K, R, t);
  std::vector<double> errors(n);
  ringcalib::PointTerms terms;
  for (size_t i = 0; i < n; ++i) {
    const cv::Vec3d X = widened(points3D[i]);
    const cv::v_float64x2 pixel = widened(pts2[i]);
    const cv::Vec3d KRX = ringcalib::evaluateResidual(projections, X, pixel, terms);
    ringcalib::evaluateJacobian(projections, X, KRX, pixel, terms);
    const int row = static_cast<int>(2 * i);
    for (int k = 0; k < 6; ++k) {
      J.at<double>(row, k) = terms.jacobian[k][0];
      J.at<double>(row + 1, k) = terms.jacobian[k][1];
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
    const double w = weighting.weight(errors[i]);
    ringcalib::RobustWeighting::scale(w, J.ptr<double>(static_cast<int>(2 * i)), 12);
    ringcalib::RobustWeighting::scale(w, r.ptr<double>(static_cast<int>(2 * i)), 2);
  }
  return weighting.median();
}
