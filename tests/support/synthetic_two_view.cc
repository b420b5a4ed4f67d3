#include "tests/support/synthetic_two_view.h"

#include <cmath>
#include <numeric>

#include <opencv2/calib3d.hpp>

#include "rig/prepared_view.h"

namespace ringcalib {
namespace {

constexpr double kImageSize = rig::kViewSize;

bool insideImage(const cv::Vec3d& pixel) {
  return pixel[0] >= 0.0 && pixel[0] < kImageSize && pixel[1] >= 0.0 && pixel[1] < kImageSize;
}

cv::Point2f noisy(const cv::Vec3d& pixel, double sigma, cv::RNG& rng) {
  return cv::Point2f(static_cast<float>(pixel[0] + rng.gaussian(sigma)),
                     static_cast<float>(pixel[1] + rng.gaussian(sigma)));
}

}  // namespace

RingPairScene makeRingPairScene(const RingPairOptions& options) {
  const cv::Matx33d K = rig::targetCamera();
  const double yaw = options.yawDegrees * CV_PI / 180.0;
  // Second camera's axes in the first camera's frame: a right-handed turn about y.
  const cv::Matx33d secondToFirst(std::cos(yaw), 0, std::sin(yaw), 0, 1, 0, -std::sin(yaw), 0,
                                  std::cos(yaw));
  const double ringRadius = options.baseline / (2.0 * std::sin(yaw / 2.0));
  const cv::Vec3d ringCentre(0, 0, -ringRadius);
  const cv::Vec3d secondCentre = ringCentre + secondToFirst * cv::Vec3d(0, 0, ringRadius) +
                                 cv::Vec3d(0, options.verticalOffset, 0);
  const cv::Matx33d R = secondToFirst.t();

  RingPairScene scene;
  scene.K = cv::Mat(K);
  scene.R = cv::Mat(R);
  scene.t = cv::Mat(secondCentre);
  cv::RNG rng(options.seed);
  const cv::Matx33d Kinv = K.inv();
  while (scene.pts1.size() < options.correspondences) {
    const cv::Vec3d pixel1(rng.uniform(0.0, kImageSize), rng.uniform(0.0, kImageSize), 1.0);
    const cv::Vec3d ray = Kinv * pixel1;
    const cv::Vec3d X1 =
        ray * (rng.uniform(options.minDistance, options.maxDistance) / cv::norm(ray));
    const cv::Vec3d X2 = R * (X1 - secondCentre);
    if (X2[2] <= 0.0) continue;
    const cv::Vec3d pixel2 = K * (X2 / X2[2]);
    if (!insideImage(pixel2)) continue;
    scene.pts1.push_back(noisy(pixel1, options.noisePixels, rng));
    scene.pts2.push_back(noisy(pixel2, options.noisePixels, rng));
  }

  // A fixed share of the pairs, drawn at random, get an unrelated second pixel.
  const size_t n = scene.pts1.size();
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t{0});
  for (size_t i = n; i > 1; --i) std::swap(order[i - 1], order[rng.uniform(0, static_cast<int>(i))]);
  scene.outlier.assign(n, 0);
  const auto outliers = static_cast<size_t>(std::lround(options.outlierFraction * n));
  for (size_t k = 0; k < outliers; ++k) {
    const size_t i = order[k];
    scene.outlier[i] = 1;
    scene.pts2[i] = cv::Point2f(static_cast<float>(rng.uniform(0.0, kImageSize)),
                                static_cast<float>(rng.uniform(0.0, kImageSize)));
  }
  return scene;
}

}  // namespace ringcalib
