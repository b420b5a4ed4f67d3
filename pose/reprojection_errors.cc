#include "pose/reprojection_errors.h"

#include "pose/cpose.h"
#include "pose/reprojection_terms.h"

namespace ringcalib {

std::vector<double> poseReprojectionErrors(const std::vector<cv::Point2f>& pts1,
                                           const std::vector<cv::Point2f>& pts2,
                                           const cv::Mat& K, const cv::Mat& R,
                                           const cv::Mat& t) {
  std::vector<cv::Point3f> points3D;
  CPose().triangulation(K, R, t, pts1, pts2, points3D);
  const PerturbedProjections projections(K, R, t);
  std::vector<double> errors(points3D.size());
  PointTerms terms;
  for (std::size_t i = 0; i < points3D.size(); ++i) {
    evaluateResidual(projections, widened(points3D[i]), widened(pts2[i]), terms);
    errors[i] = terms.error;
  }
  return errors;
}

}  // namespace ringcalib
