#pragma once

#include <iostream>
#include <vector>

#include <opencv2/core.hpp>

// Relative pose of two views taken with the same pinhole camera.
//
// Pose convention: a point X1 in the first camera's frame is X2 = R * (X1 - t) in the second
// camera's frame, so t is the second camera's centre in first-camera coordinates; its scale
// cannot be observed and the estimates carry |t| = 1. R is a 3x3 CV_64F matrix, t a 3x1
// CV_64F column. The matching essential matrix is E ~ R * [t]x, so u2^T * E * u1 = 0 for the
// normalised image points u1, u2 of one scene point.
//
// Rotations are parameterised by an angle triple (x, y, z) in radians whose matrix is
// Rz(z) * Ry(y) * Rx(x) transposed; see eulerToRotation.
//
// The class keeps no state; every operation is a pure function of its arguments.
class CPose {
 public:
  // Eleven-decimal angle constants used by all angle work and by the conversion to degrees
  // (angle * 180 / PI). They are deliberately not the full-precision values: the range test
  // of rotationToEuler near +-90 degrees and the degrees the tool reports depend on them.
  static constexpr double PI = 3.14159265358;
  static constexpr double HALF_PI = 1.57079632679;

  // The error that decomposeRtFromFundamentalMat and optimizeRt return when they found no
  // pose: no refinement iteration did better than this, or the input was refused.
  static constexpr double kNoPoseError = 1e10;

  // ---- Rotation angles -------------------------------------------------------------------

  // Writes the matrix of the triple into R (allocated as 3x3 CV_64F when it is not; an
  // existing 3x3 CV_64F matrix, even a sub-matrix view, is written in place):
  //   ( cy*cz              cy*sz              -sy   )
  //   ( sx*sy*cz - cx*sz   sx*sy*sz + cx*cz   sx*cy )
  //   ( cx*sy*cz + sx*sz   cx*sy*sz - sx*cz   cx*cy )
  void eulerToRotation(double x, double y, double z, cv::Mat& R) const;

  // Sum of the nine absolute differences between R and the matrix of (x, y, z): an L1
  // distance, 0 for an exact match.
  double errorR(const cv::Mat& R, double x, double y, double z) const;

  // The triple of R. Reads y = -asin(R02), z = atan(R01 / R00), x = atan(R12 / R22) with
  // the one-argument arctangent, then tries the alternatives x + PI, PI - y, z + PI in a
  // fixed order of eight candidates; a later candidate replaces the current one only when
  // its errorR is strictly smaller and all three of its angles lie strictly inside
  // (-HALF_PI, HALF_PI). Every result angle is therefore within [-pi/2, pi/2], even when
  // that triple does not reproduce R. |R02| > 1 yields y = NaN.
  void rotationToEuler(cv::Mat R, double& x, double& y, double& z) const;

  // ---- Essential-matrix decomposition ----------------------------------------------------

  // Splits E = U * diag(w) * Vt into the rotations R1 = U*B*Vt, R2 = U*B^T*Vt (B the
  // quarter turn about z) and the skew matrix T0 = V*A*Vt, and tests the eight candidates
  //   (R1, T0) (R1, -T0) (-R1, T0) (-R1, -T0) (R2, T0) (R2, -T0) (-R2, T0) (-R2, -T0)
  // with checkRT. The last passing candidate is copied into R and tSkew; when none passes
  // they keep their entry values. Then tSkew is divided by sqrt(0.5 * sum of its squared
  // elements), which gives |t| = 1 for a skew matrix (and NaN for a zero matrix).
  void solveRT(cv::Mat E, cv::Mat K, const std::vector<cv::Point2f>& pts1,
               const std::vector<cv::Point2f>& pts2, cv::Mat& R, cv::Mat& tSkew) const;

  // True when det(R) lies in [0.9, 1.1] and strictly more than half of the correspondences
  // have both depths >= 0. The depths d1, d2 are the least-squares solution of
  // d1 * R*u1 - d2 * u2 = R*t; pairs whose rays are nearly parallel
  // (|r|^2 |u2|^2 sin^2 < 1e-10) count as not in front. t is read from tSkew = [t]x.
  // pts2 must hold at least as many points as pts1 (cv::Exception otherwise).
  bool checkRT(cv::Mat R, cv::Mat tSkew, cv::Mat K, const std::vector<cv::Point2f>& pts1,
               const std::vector<cv::Point2f>& pts2) const;

  // ---- Pose from the fundamental matrix --------------------------------------------------

  // Rotation and unit translation of the second view relative to the first from the
  // fundamental matrix F (x2^T F x1 = 0, estimated from these correspondences) and the
  // camera matrix K shared by both views: E = K^T F K, R and the start of t from solveRT
  // (t from (0.8, 0, -0.4) when no candidate passed the depth test), then optimizeRt with
  // 100 iterations. Prints "优化时间: " (GBK bytes) and the clock() tick difference of the
  // refinement as one line to `out`.
  //
  // Returns optimizeRt's result: the best median reprojection error in pixels, or 1e10
  // when no iteration improved on 1e10 (R and t are then the starting pose); 1e10 means
  // there is no usable pose.
  //
  // Refused input: when K or F is empty, not 3x3, not CV_64F or not finite, or pts2 is
  // shorter than pts1, nothing is computed or printed, R and t are left untouched and the
  // result is 1e10.
  double decomposeRtFromFundamentalMat(const std::vector<cv::Point2f>& pts1,
                                       const std::vector<cv::Point2f>& pts2, const cv::Mat& K,
                                       const cv::Mat& F, cv::Mat& R, cv::Mat& t,
                                       std::ostream& out = std::cout) const;

  // ---- Pose refinement ---------------------------------------------------------------------

  // points3D (cleared, then one point per correspondence, first-camera coordinates): the
  // point s * p1 on the first ray that comes closest to the second ray, s the least-squares
  // solution of s * R*p1 - R*t = s2 * p2. A denominator |D| < 1e-10 (parallel rays) is
  // replaced by +1e-10, so every correspondence yields a finite point.
  void triangulation(cv::Mat K, cv::Mat R, cv::Mat t, const std::vector<cv::Point2f>& pts1,
                     const std::vector<cv::Point2f>& pts2,
                     std::vector<cv::Point3f>& points3D) const;

  // Residuals r (2N x 1: projection of points3D into the second view minus pts2) and their
  // forward-difference Jacobian J (2N x 6, columns: the angles x, y, z of rotationToEuler
  // with step 1e-6 degrees, then t's components with step 1e-4), both weighted per
  // correspondence from its error e = |r_i|: with p80, p95 the 80th/95th percentiles of a
  // sample of at most 1000 errors and cap = min(4 * p80, p95), rows with p80 < e < cap are
  // scaled by 1 / (e - p80 + 1) and rows with e >= cap are zeroed. Returns the median of
  // the sample (the upper middle value), or 1e10 when there are no correspondences.
  double jacobianAndResidual(const std::vector<cv::Point2f>& pts1,
                             const std::vector<cv::Point2f>& pts2,
                             const std::vector<cv::Point3f>& points3D, cv::Mat K, cv::Mat R,
                             cv::Mat t, cv::Mat& J, cv::Mat& r) const;

  // Robust damped Gauss-Newton refinement of (R, t), exactly maxIterations iterations:
  // triangulate, weight, solve (J^T J + 0.001 I) delta = -J^T r, bound the step, update the
  // angles and t, renormalise t. Keeps the pose after the update of the iteration whose
  // (pre-update) median error was the smallest, writes it into R and t and returns that
  // error. Returns 1e10 with R and t untouched when no iteration improved on 1e10, when
  // maxIterations <= 0 or when pts1 is empty. pts2 must hold at least as many points as
  // pts1 (cv::Exception otherwise).
  double optimizeRt(const std::vector<cv::Point2f>& pts1, const std::vector<cv::Point2f>& pts2,
                    cv::Mat K, cv::Mat& R, cv::Mat& t, int maxIterations) const;
};
