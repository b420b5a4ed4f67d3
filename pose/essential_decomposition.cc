#include <array>
#include <cmath>
#include <utility>

#include "pose/cpose.h"
#include "pose/pose_geometry.h"

void CPose::solveRT(cv::Mat E, cv::Mat K, const std::vector<cv::Point2f>& pts1,
                    const std::vector<cv::Point2f>& pts2, cv::Mat& R, cv::Mat& tSkew) const {
  cv::Mat w, U, Vt;
  cv::SVD::compute(E, w, U, Vt, 0);
  const cv::Mat V = Vt.t();

  // B is a quarter turn about z and A = [e3]x restricted to the xy plane, so R1*T0 and R2*T0
  // both equal +-U*diag(1, 1, 0)*Vt, the essential matrix up to sign and scale; T0 is
  // +-[v3]x with v3 the null direction of E.
  cv::Mat B = cv::Mat::zeros(3, 3, CV_64F);
  B.at<double>(0, 1) = 1.0;
  B.at<double>(1, 0) = -1.0;
  B.at<double>(2, 2) = 1.0;
  cv::Mat A = cv::Mat::zeros(3, 3, CV_64F);
  A.at<double>(0, 1) = -1.0;
  A.at<double>(1, 0) = 1.0;

  const cv::Mat R1 = U * B * Vt;
  const cv::Mat R2 = U * B.t() * Vt;
  const cv::Mat T0 = V * A * Vt;
  const std::array<std::pair<cv::Mat, cv::Mat>, 8> candidates = {{
      {R1.clone(), T0.clone()}, {R1.clone(), cv::Mat(-T0)},
      {cv::Mat(-R1), T0.clone()}, {cv::Mat(-R1), cv::Mat(-T0)},
      {R2.clone(), T0.clone()}, {R2.clone(), cv::Mat(-T0)},
      {cv::Mat(-R2), T0.clone()}, {cv::Mat(-R2), cv::Mat(-T0)},
  }};

  std::array<bool, 8> passed;
  for (size_t k = 0; k < candidates.size(); ++k)
    passed[k] = checkRT(candidates[k].first, candidates[k].second, K, pts1, pts2);

  // No scores are compared: the last passing candidate in table order wins.
  for (size_t k = 0; k < candidates.size(); ++k) {
    if (!passed[k]) continue;
    candidates[k].first.copyTo(R);
    candidates[k].second.copyTo(tSkew);
  }

  // |[t]x|_F^2 = 2 |t|^2, so this leaves a unit t with the winner's sign.
  if (tSkew.empty()) return;
  CV_Assert(tSkew.type() == CV_64F);
  const double scale = std::sqrt(0.5 * cv::norm(tSkew, cv::NORM_L2SQR));
  for (int i = 0; i < tSkew.rows; ++i)
    for (int j = 0; j < tSkew.cols; ++j) tSkew.at<double>(i, j) /= scale;
}

bool CPose::checkRT(cv::Mat R, cv::Mat tSkew, cv::Mat K, const std::vector<cv::Point2f>& pts1,
                    const std::vector<cv::Point2f>& pts2) const {
  const double det = cv::determinant(R);
  if (det < 0.9 || det > 1.1) return false;
  const size_t n = pts1.size();
  if (n == 0) return false;
  CV_Assert(pts2.size() >= n);

  const cv::Matx33d rotation = R;
  const cv::Matx33d skew = tSkew;
  const ringcalib::PinholeCamera camera(K);
  const cv::Vec3d m = rotation * ringcalib::translationOfSkew(skew);

  size_t inFront = 0;
  for (size_t i = 0; i < n; ++i) {
    const cv::Vec3d u1 = camera.ray(pts1[i]);
    const cv::Vec3d u2 = camera.ray(pts2[i]);
    const cv::Vec3d r = rotation * u1;
    // Normal equations of d1 * r - d2 * u2 = m; D = |r|^2 |u2|^2 sin^2(angle of the rays).
    const double p11 = r.dot(r);
    const double p12 = -u2.dot(r);
    const double p22 = u2.dot(u2);
    const double q1 = r.dot(m);
    const double q2 = -u2.dot(m);
    const double D = p11 * p22 - p12 * p12;
    if (std::abs(D) < 1e-10) continue;  // parallel rays: no depth, yet still counted in n
    const double d1 = (q1 * p22 - p12 * q2) / D;
    const double d2 = (p11 * q2 - p12 * q1) / D;
    if (d1 < 0 || d2 < 0) continue;
    ++inFront;
  }
  return static_cast<double>(inFront) > 0.5 * static_cast<double>(n);
}
