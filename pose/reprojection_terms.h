#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include <opencv2/core.hpp>

// Per-correspondence terms of the pose refinement: the reprojection residual of a
// triangulated point in the second view, its forward-difference Jacobian with respect to
// (angle x, angle y, angle z, t1, t2, t3), and the robust weight of its error. Shared by
// CPose::jacobianAndResidual and the fused normal equations, so both see the same numbers.
namespace ringcalib {

// Forward-difference steps: a millionth of a degree (10^-6 * 3.14159265358 / 180) for the
// angles, 1e-4 for the components of t.
constexpr double kAngleStep = 1.7453292519888886e-08;
constexpr double kTranslationStep = 0.0001;

// The eleven products of one pose, formed once so that each point costs only 3x3 by
// 3-vector products. With Ra, Rb, Rc the rotations of the angle triple of R with x, y or z
// advanced by kAngleStep, and ta, tb, tc = t advanced by kTranslationStep along one axis:
//   M = (K R, K Ra, K Rb, K Rc),
//   b = (K R t, K Ra t, K Rb t, K Rc t, K R ta, K R tb, K R tc).
// A point X projects through the pair (M, b) as w = M X - b, pixel (w0 / w2, w1 / w2); that
// is K R (X - t), the pose convention.
struct PerturbedProjections {
  PerturbedProjections(const cv::Mat& K, const cv::Mat& R, const cv::Mat& t);

  cv::Matx33d M[4];
  cv::Vec3d b[7];
};

// Residual and Jacobian rows of one correspondence.
struct PointTerms {
  double residual[2];     // projection minus observed pixel
  double jacobian[2][6];  // d residual / d parameter, by forward difference
  double error;           // |residual| in pixels, before any weighting
};

inline double projectionResidual(const cv::Vec3d& w, double observed, int axis) {
  return w[axis] / w[2] - observed;
}

// |residual| of one point: the same arithmetic as evaluatePoint, so the two agree to the bit.
inline double reprojectionError(const PerturbedProjections& P, const cv::Point3f& X,
                                const cv::Point2f& observed) {
  const cv::Vec3d w = P.M[0] * cv::Vec3d(X.x, X.y, X.z) - P.b[0];
  const double ru = projectionResidual(w, observed.x, 0);
  const double rv = projectionResidual(w, observed.y, 1);
  return std::sqrt(ru * ru + rv * rv);
}

inline void evaluatePoint(const PerturbedProjections& P, const cv::Point3f& X,
                          const cv::Point2f& observed, PointTerms& terms) {
  const cv::Vec3d x(X.x, X.y, X.z);
  const double u = observed.x, v = observed.y;
  const cv::Vec3d KRx = P.M[0] * x;  // shared by the residual and the three t columns
  const cv::Vec3d base = KRx - P.b[0];
  const double ru = projectionResidual(base, u, 0);
  const double rv = projectionResidual(base, v, 1);
  terms.residual[0] = ru;
  terms.residual[1] = rv;
  terms.error = std::sqrt(ru * ru + rv * rv);
  for (int k = 0; k < 6; ++k) {
    const cv::Vec3d w = k < 3 ? P.M[k + 1] * x - P.b[k + 1] : KRx - P.b[k + 1];
    const double step = k < 3 ? kAngleStep : kTranslationStep;
    terms.jacobian[0][k] = (projectionResidual(w, u, 0) - ru) / step;
    terms.jacobian[1][k] = (projectionResidual(w, v, 1) - rv) / step;
  }
}

// Indices of the errors that enter the percentiles: all of them below 1000 points,
// otherwise 1000 evenly spaced ones, the position starting at 0.1 and growing by n / 1000
// by repeated addition (so the first is always point 0).
std::vector<size_t> errorSamplePositions(size_t n);

// Iteratively reweighted least squares with a hard cut-off, from the error percentiles:
// errors up to p80 keep weight 1, errors between p80 and cap = min(4 p80, p95) get
// 1 / (e - p80 + 1), errors from cap upwards drop out.
class RobustWeighting {
 public:
  // `sample` (non-empty) holds the sampled errors in any order; NaN sorts last.
  explicit RobustWeighting(std::vector<double> sample);

  double weight(double error) const;
  // Scales the terms by their weight; a dropped point's terms become exactly 0 (also when
  // they are not finite) and the result is false.
  bool apply(PointTerms& terms) const;

  double p80() const { return p80_; }
  double cap() const { return cap_; }
  // The upper middle sampled error.
  double median() const { return median_; }

 private:
  double p80_;
  double cap_;
  double median_;
};

}  // namespace ringcalib
