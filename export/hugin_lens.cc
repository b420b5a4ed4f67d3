#include "export/hugin_lens.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "pose/angles.h"

namespace ringcalib::exporting {

namespace {

// About 100 samples across the still's smaller side: the lens is smooth.
int gridStep(cv::Size still) { return std::max(1, std::min(still.width, still.height) / 100); }

double normRadius(cv::Size still) { return 0.5 * std::min(still.width, still.height); }

cv::Point2d lensCentre(const HuginLens& lens, cv::Size still) {
  return {0.5 * still.width - 0.5 + lens.d, 0.5 * still.height - 0.5 + lens.e};
}

// The positive root of f⁴ - p1 f³ - p2 R f² - p3 R² f - p4 R³ (the focal length for which
// the fitted coefficients give 1 - a - b - c = p1 / f), by Newton's method from p1.
double focalOf(const cv::Vec<double, 6>& p, double R) {
  double f = p[0];
  for (int i = 0; i < 50; ++i) {
    const double value = f * f * f * f - p[0] * f * f * f - p[1] * R * f * f - p[2] * R * R * f - p[3] * R * R * R;
    const double slope = 4 * f * f * f - 3 * p[0] * f * f - 2 * p[1] * R * f - p[2] * R * R;
    const double step = value / slope;
    f -= step;
    if (std::abs(step) < 1e-12 * f) break;
  }
  return f;
}

}  // namespace

cv::Point2d huginPixel(const HuginLens& lens, cv::Size still, const cv::Vec3d& ray) {
  const double f = still.width / (lens.hfovDeg * CV_PI / 180.0);
  const double rho = std::hypot(ray[0], ray[1]);
  const cv::Point2d centre = lensCentre(lens, still);
  if (rho == 0.0) return centre;
  const double r = f * std::atan2(rho, ray[2]);
  const double s = r / normRadius(still);
  const double moved = r * (((lens.a * s + lens.b) * s + lens.c) * s + 1.0 - lens.a - lens.b - lens.c);
  return centre + cv::Point2d(moved * ray[0] / rho, moved * ray[1] / rho);
}

HuginFit fitHuginLens(const rig::FisheyeCamera& camera, cv::Size still) {
  const rig::FisheyeLens model(camera);
  std::vector<cv::Vec3d> rays;
  std::vector<cv::Point2d> pixels;
  const int step = gridStep(still);
  for (int v = 0; v < still.height; v += step) {
    for (int u = 0; u < still.width; u += step) {
      cv::Vec3d ray;
      if (model.unproject(u, v, ray) && ray[2] > 0.0) {
        rays.push_back(ray);
        pixels.emplace_back(u, v);
      }
    }
  }
  // Rows: x - (w/2 - 0.5) = P(theta) cos(phi) + d, y - (h/2 - 0.5) = P(theta) sin(phi) + e,
  // P(theta) = p1 theta + p2 theta² + p3 theta³ + p4 theta⁴.
  const int count = static_cast<int>(rays.size());
  if (count < 100) {
    throw std::runtime_error("the lens' centre and field lie off a still of " + std::to_string(still.width) + " x " +
                             std::to_string(still.height) + " pixels");
  }
  cv::Mat A = cv::Mat::zeros(2 * count, 6, CV_64F), y(2 * count, 1, CV_64F);
  for (int i = 0; i < count; ++i) {
    const cv::Vec3d& ray = rays[i];
    const double rho = std::hypot(ray[0], ray[1]);
    const double theta = std::atan2(rho, ray[2]);
    const double cosPhi = rho == 0.0 ? 0.0 : ray[0] / rho, sinPhi = rho == 0.0 ? 0.0 : ray[1] / rho;
    double power = theta;
    for (int k = 0; k < 4; ++k, power *= theta) {
      A.at<double>(2 * i, k) = power * cosPhi;
      A.at<double>(2 * i + 1, k) = power * sinPhi;
    }
    A.at<double>(2 * i, 4) = 1.0;
    A.at<double>(2 * i + 1, 5) = 1.0;
    y.at<double>(2 * i) = (pixels[i].x - (0.5 * still.width - 0.5));
    y.at<double>(2 * i + 1) = (pixels[i].y - (0.5 * still.height - 0.5));
  }
  cv::Vec<double, 6> p;
  cv::solve(A, y, p, cv::DECOMP_QR);
  const double R = normRadius(still);
  const double f = focalOf(p, R);
  HuginFit fit;
  fit.lens.hfovDeg = degreesFromRadians(still.width / f);
  fit.lens.c = p[1] * R / (f * f);
  fit.lens.b = p[2] * R * R / (f * f * f);
  fit.lens.a = p[3] * R * R * R / (f * f * f * f);
  fit.lens.d = p[4];
  fit.lens.e = p[5];
  for (int i = 0; i < count; ++i) {
    fit.largestErrorPx = std::max(fit.largestErrorPx, cv::norm(huginPixel(fit.lens, still, rays[i]) - pixels[i]));
  }
  return fit;
}

}  // namespace ringcalib::exporting
