#include "pose/normal_equations.h"

#include "pose/cpose.h"
#include "pose/fixed_chunks.h"
#include "pose/reprojection_terms.h"

namespace ringcalib {
namespace {

// Upper triangle of J^T J (row-major, 21 entries) and J^T r over some correspondences. Each
// entry keeps the sums over the points' first and second rows in its two lanes, so a point
// costs one packed multiply-add per entry; the lanes are added when the chunk is done.
struct PartialSums {
  cv::v_float64x2 JtJ[21];
  cv::v_float64x2 Jtr[6];

  PartialSums() {
    for (cv::v_float64x2& sum : JtJ) sum = cv::v_setzero_f64();
    for (cv::v_float64x2& sum : Jtr) sum = cv::v_setzero_f64();
  }

  void add(const PointTerms& terms) {
    cv::v_float64x2 column[6];
    for (int k = 0; k < 6; ++k) column[k] = cv::v_load(terms.jacobian[k]);
    const cv::v_float64x2 residual = cv::v_load(terms.residual);
    int index = 0;
    for (int i = 0; i < 6; ++i) {
      for (int j = i; j < 6; ++j) JtJ[index++] += column[i] * column[j];
      Jtr[i] += column[i] * residual;
    }
  }
};

}  // namespace

std::vector<RayPair> correspondenceRays(const std::vector<cv::Point2f>& pts1,
                                        const std::vector<cv::Point2f>& pts2, const cv::Mat& K) {
  CV_Assert(pts2.size() >= pts1.size());
  const PinholeCamera camera(K);
  std::vector<RayPair> rays;
  rays.reserve(pts1.size());
  for (size_t i = 0; i < pts1.size(); ++i) rays.emplace_back(camera, pts1[i], pts2[i]);
  return rays;
}

NormalEquations accumulateNormalEquations(const std::vector<RayPair>& rays,
                                          const std::vector<cv::Point2f>& pts2,
                                          const cv::Mat& K, const cv::Mat& R, const cv::Mat& t) {
  const size_t n = rays.size();
  CV_Assert(pts2.size() >= n);
  NormalEquations equations{cv::Matx66d::zeros(), cv::Vec6d::all(0.0), CPose::kNoPoseError};
  if (n == 0) return equations;

  const cv::Matx33d rotation = R;
  const cv::Vec3d c = rotation * cv::Vec3d(t);
  const auto pointAt = [&](size_t i) { return triangulateOnFirstRay(rotation, c, rays[i]); };
  const PerturbedProjections projections(K, R, t);

  // Points are always stored as floats before they are used, exactly as
  // CPose::triangulation stores them: GCC 12 at -O2 can drop a float rounding that is
  // widened again while the value stays in registers, and then the same point would give
  // two different errors.
  const std::vector<size_t> positions = errorSamplePositions(n);
  std::vector<cv::Point3f> sampledPoints(positions.size());
  for (size_t k = 0; k < positions.size(); ++k) sampledPoints[k] = pointAt(positions[k]);
  std::vector<double> sample(positions.size());
  PointTerms terms;
  for (size_t k = 0; k < positions.size(); ++k) {
    evaluateResidual(projections, widened(sampledPoints[k]), widened(pts2[positions[k]]), terms);
    sample[k] = terms.error;
  }
  const RobustWeighting weighting(std::move(sample));

  std::vector<PartialSums> partial(chunkCount(n));
  forEachChunk(n, [&](size_t chunk, size_t begin, size_t end) {
    // Triangulating the whole chunk first also keeps the divisions of the two steps from
    // queueing behind each other.
    std::vector<cv::Point3f> points(end - begin);
    for (size_t i = begin; i < end; ++i) points[i - begin] = pointAt(i);
    PartialSums& sums = partial[chunk];
    PointTerms terms;
    for (size_t i = begin; i < end; ++i) {
      const cv::Vec3d X = widened(points[i - begin]);
      const cv::v_float64x2 pixel = widened(pts2[i]);
      const cv::Vec3d KRX = evaluateResidual(projections, X, pixel, terms);
      // A dropped point contributes nothing, so its Jacobian is not needed.
      const double w = weighting.weight(terms.error);
      if (w == 0.0) continue;
      evaluateJacobian(projections, X, KRX, pixel, terms);
      RobustWeighting::scale(w, terms.residual, 2);
      RobustWeighting::scale(w, &terms.jacobian[0][0], 12);
      sums.add(terms);
    }
  });

  for (const PartialSums& sums : partial) {
    int index = 0;
    for (int i = 0; i < 6; ++i) {
      for (int j = i; j < 6; ++j) equations.JtJ(i, j) += cv::v_reduce_sum(sums.JtJ[index++]);
      equations.Jtr[i] += cv::v_reduce_sum(sums.Jtr[i]);
    }
  }
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < i; ++j) equations.JtJ(i, j) = equations.JtJ(j, i);
  equations.medianError = weighting.median();
  return equations;
}

}  // namespace ringcalib
