#include "pose/normal_equations.h"

#include "pose/cpose.h"
#include "pose/fixed_chunks.h"
#include "pose/reprojection_terms.h"

namespace ringcalib {
namespace {

// Upper triangle of J^T J (row-major, 21 entries) and J^T r over some correspondences.
struct PartialSums {
  double JtJ[21] = {};
  double Jtr[6] = {};

  void add(const PointTerms& terms) {
    const double(&a)[6] = terms.jacobian[0];
    const double(&b)[6] = terms.jacobian[1];
    int index = 0;
    for (int i = 0; i < 6; ++i) {
      for (int j = i; j < 6; ++j) JtJ[index++] += a[i] * a[j] + b[i] * b[j];
      Jtr[i] += a[i] * terms.residual[0] + b[i] * terms.residual[1];
    }
  }

  void add(const PartialSums& other) {
    for (int k = 0; k < 21; ++k) JtJ[k] += other.JtJ[k];
    for (int k = 0; k < 6; ++k) Jtr[k] += other.Jtr[k];
  }
};

}  // namespace

NormalEquations accumulateNormalEquations(const std::vector<cv::Point2f>& pts1,
                                          const std::vector<cv::Point2f>& pts2,
                                          const std::vector<cv::Point3f>& points3D,
                                          const cv::Mat& K, const cv::Mat& R, const cv::Mat& t) {
  const size_t n = pts1.size();
  CV_Assert(pts2.size() >= n && points3D.size() >= n);
  NormalEquations equations{cv::Matx66d::zeros(), cv::Vec6d::all(0.0), CPose::kNoPoseError};
  if (n == 0) return equations;

  const PerturbedProjections projections(K, R, t);
  std::vector<double> sample;
  for (size_t position : errorSamplePositions(n))
    sample.push_back(reprojectionError(projections, points3D[position], pts2[position]));
  const RobustWeighting weighting(std::move(sample));

  std::vector<PartialSums> partial(chunkCount(n));
  forEachChunk(n, [&](size_t chunk, size_t begin, size_t end) {
    PartialSums& sums = partial[chunk];
    PointTerms terms;
    for (size_t i = begin; i < end; ++i) {
      evaluatePoint(projections, points3D[i], pts2[i], terms);
      if (weighting.apply(terms)) sums.add(terms);
    }
  });

  PartialSums total;
  for (const PartialSums& sums : partial) total.add(sums);
  int index = 0;
  for (int i = 0; i < 6; ++i) {
    for (int j = i; j < 6; ++j) {
      equations.JtJ(i, j) = total.JtJ[index];
      equations.JtJ(j, i) = total.JtJ[index++];
    }
    equations.Jtr[i] = total.Jtr[i];
  }
  equations.medianError = weighting.median();
  return equations;
}

}  // namespace ringcalib
