#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "pose/pose_geometry.h"

namespace ringcalib {

// The Gauss-Newton system of one refinement iteration.
struct NormalEquations {
  cv::Matx66d JtJ;
  cv::Vec6d Jtr;
  double medianError;  // median reprojection error before weighting
};

// The rays of every correspondence (pts2 at least as long as pts1), in pts1's order.
std::vector<RayPair> correspondenceRays(const std::vector<cv::Point2f>& pts1,
                                        const std::vector<cv::Point2f>& pts2, const cv::Mat& K);

// J^T J and J^T r of the weighted J and r that CPose::triangulation followed by
// CPose::jacobianAndResidual produce for the pose (R, t), without forming points3D, J or r:
// one pass over the correspondences triangulates, evaluates, weights and accumulates each
// point. `rays` are the correspondences' rays under K (see correspondenceRays) and pts2 their
// second pixels. The percentiles need only the sampled errors, so those (at most 1000)
// points are evaluated first and again in the pass. The pass runs on fixed chunks whose
// 6 x 6 / 6 x 1 partial sums are added in chunk order, so the result does not depend on the
// thread count or timing; it equals the matrix products up to the order of summation.
NormalEquations accumulateNormalEquations(const std::vector<RayPair>& rays,
                                          const std::vector<cv::Point2f>& pts2,
                                          const cv::Mat& K, const cv::Mat& R, const cv::Mat& t);

}  // namespace ringcalib
