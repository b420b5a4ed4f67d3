#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace ringcalib {

// The Gauss-Newton system of one refinement iteration, from the weighted J and r of
// CPose::jacobianAndResidual.
struct NormalEquations {
  cv::Matx66d JtJ;
  cv::Vec6d Jtr;
  double medianError;  // jacobianAndResidual's result
};

// J^T J and J^T r of jacobianAndResidual(pts1, pts2, points3D, K, R, t) without forming the
// 2N x 6 and 2N x 1 matrices: one pass over the correspondences evaluates, weights and
// accumulates each point's two rows. The percentiles need only the sampled errors, which
// are evaluated first. The pass runs on fixed chunks whose 6 x 6 / 6 x 1 partial sums are
// added in chunk order, so the result does not depend on the thread count or timing; it
// equals the matrix products up to the order of summation.
NormalEquations accumulateNormalEquations(const std::vector<cv::Point2f>& pts1,
                                          const std::vector<cv::Point2f>& pts2,
                                          const std::vector<cv::Point3f>& points3D,
                                          const cv::Mat& K, const cv::Mat& R, const cv::Mat& t);

}  // namespace ringcalib
