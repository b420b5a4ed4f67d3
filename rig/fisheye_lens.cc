#include "rig/fisheye_lens.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "rig/prepared_view.h"

namespace ringcalib::rig {
namespace {

// d theta_d / d theta = 1 + 3 k1 θ² + 5 k2 θ⁴ + 7 k3 θ⁶ + 9 k4 θ⁸.
double slope(const cv::Vec4d& D, double theta) {
  const double t2 = theta * theta;
  return 1.0 + t2 * (3.0 * D[0] + t2 * (5.0 * D[1] + t2 * (7.0 * D[2] + t2 * 9.0 * D[3])));
}

}  // namespace

double FisheyeCamera::stillScale(cv::Size still) const {
  if (still.width <= 0 || still.height <= 0 || frameSize.width <= 0 || frameSize.height <= 0) {
    return 0.0;
  }
  // |still.height - still.width * frames' height / frames' width| <= 1, in integers.
  const long long across = static_cast<long long>(still.height) * frameSize.width -
                           static_cast<long long>(still.width) * frameSize.height;
  if (std::llabs(across) > frameSize.width) return 0.0;
  return static_cast<double>(still.width) / frameSize.width;
}

FisheyeCamera FisheyeCamera::scaledToStill(double scale) const {
  FisheyeCamera still = *this;
  still.K(0, 0) *= scale;
  still.K(0, 2) *= scale;
  still.K(1, 1) *= scale;
  still.K(1, 2) *= scale;
  return still;
}

FisheyeLens::FisheyeLens(const cv::Matx33d& K, const cv::Vec4d& D) : K_(K), D_(D) {
  // The model is only invertible while theta_d grows; scan for the first turning point.
  constexpr int kSteps = 2000;
  maxTheta_ = kDomain;
  for (int i = 1; i <= kSteps; ++i) {
    const double theta = kDomain * i / kSteps;
    if (slope(D_, theta) <= 0.0) {
      maxTheta_ = kDomain * (i - 1) / kSteps;
      break;
    }
  }
  maxThetaD_ = distortTheta(maxTheta_);
}

double FisheyeLens::distortTheta(double theta) const {
  const double t2 = theta * theta;
  return theta * (1.0 + t2 * (D_[0] + t2 * (D_[1] + t2 * (D_[2] + t2 * D_[3]))));
}

double FisheyeLens::undistortTheta(double thetaD) const {
  // theta_d(theta) is increasing on [0, maxTheta]: Newton from theta = theta_d, kept in range;
  // it converges quadratically, to rounding level within a handful of steps.
  double theta = std::min(thetaD, maxTheta_);
  for (int i = 0; i < 20; ++i) {
    const double step = (distortTheta(theta) - thetaD) / slope(D_, theta);
    theta = std::clamp(theta - step, 0.0, maxTheta_);
    if (std::abs(step) < 1e-12) break;
  }
  return theta;
}

cv::Point2d FisheyeLens::project(const cv::Vec3d& ray) const {
  const double r = std::hypot(ray[0], ray[1]);
  if (r == 0.0) return {K_(0, 2), K_(1, 2)};
  const double thetaD = distortTheta(std::atan2(r, ray[2]));
  return {K_(0, 0) * thetaD * ray[0] / r + K_(0, 2), K_(1, 1) * thetaD * ray[1] / r + K_(1, 2)};
}

bool FisheyeLens::unproject(double u, double v, cv::Vec3d& ray) const {
  const double a = (u - K_(0, 2)) / K_(0, 0);
  const double b = (v - K_(1, 2)) / K_(1, 1);
  const double thetaD = std::hypot(a, b);
  if (thetaD > maxThetaD_) return false;
  if (thetaD == 0.0) {
    ray = {0.0, 0.0, 1.0};
    return true;
  }
  const double theta = undistortTheta(thetaD);
  const double s = std::sin(theta) / thetaD;
  ray = {a * s, b * s, std::cos(theta)};
  return true;
}

}  // namespace ringcalib::rig
