#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>

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
  double jacobian[6][2];  // column k: d residual / d parameter k, by forward difference
  double error;           // |residual| in pixels, before any weighting
};

// Projection of w minus the observed pixel, both coordinates at once: (w0, w1) / w2 - (u, v).
// Element-wise IEEE operations, so this is bit for bit the scalar arithmetic, with the two
// divisions in one instruction where the processor has them.
inline cv::v_float64x2 pixelResidual(const cv::Vec3d& w, const cv::v_float64x2& observed) {
  return cv::v_float64x2(w[0], w[1]) / cv::v_setall_f64(w[2]) - observed;
}

inline double lengthOf(const cv::v_float64x2& residual) {
  double r[2];
  cv::v_store(r, residual);
  return std::sqrt(r[0] * r[0] + r[1] * r[1]);
}

// Residual and error of one point; returns K R X, which the Jacobian's t columns share.
inline cv::Vec3d evaluateResidual(const PerturbedProjections& P, const cv::Vec3d& x,
                                  const cv::v_float64x2& pixel, PointTerms& terms) {
  const cv::Vec3d KRx = P.M[0] * x;
  const cv::v_float64x2 residual = pixelResidual(KRx - P.b[0], pixel);
  cv::v_store(terms.residual, residual);
  terms.error = lengthOf(residual);
  return KRx;
}

// The forward differences of the residual that evaluateResidual left in `terms`.
inline void evaluateJacobian(const PerturbedProjections& P, const cv::Vec3d& x,
                             const cv::Vec3d& KRx, const cv::v_float64x2& pixel,
                             PointTerms& terms) {
  const cv::v_float64x2 residual = cv::v_load(terms.residual);
  cv::Vec3d moved[6];
  for (int k = 0; k < 3; ++k) moved[k] = P.M[k + 1] * x - P.b[k + 1];
  for (int k = 3; k < 6; ++k) moved[k] = KRx - P.b[k + 1];
  for (int k = 0; k < 6; ++k) {
    const cv::v_float64x2 step = cv::v_setall_f64(k < 3 ? kAngleStep : kTranslationStep);
    cv::v_store(terms.jacobian[k], (pixelResidual(moved[k], pixel) - residual) / step);
  }
}

inline cv::Vec3d widened(const cv::Point3f& X) { return cv::Vec3d(X.x, X.y, X.z); }
inline cv::v_float64x2 widened(const cv::Point2f& p) { return cv::v_float64x2(p.x, p.y); }

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

  double weight(double error) const {
    if (p80_ < error && error < cap_) return 1.0 / ((error - p80_) + 1.0);
    if (error >= cap_) return 0.0;
    return 1.0;
  }

  // Multiplies `count` values by the weight w; w = 0 (a dropped point) gives exact zeros, also
  // for values that are not finite.
  static void scale(double w, double* values, int count) {
    if (w == 1.0) return;
    for (int k = 0; k < count; ++k) values[k] = w == 0.0 ? 0.0 : values[k] * w;
  }

  // The upper middle sampled error.
  double median() const { return median_; }

 private:
  double p80_;
  double cap_;
  double median_;
};

}  // namespace ringcalib
