#include "tools/still_effects.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "tools/random_stream.h"

namespace ringcalib::synth {
namespace {

// Per camera: the effects' parameters, then the noise; a re-shoot uses streams of its own, so
// that even a re-shoot seed equal to the rig's seed gives other noise.
constexpr std::uint64_t kShootStream = 800;
constexpr std::uint64_t kReshootStream = 1000;
constexpr std::uint64_t kNoiseOffset = 100;
constexpr std::uint64_t kGainStream = 1200;
constexpr float kLeastVignettedShare = 0.05f;
constexpr float kMidGrey = 127.5f;

// A line of `length` pixels through the kernel's centre at `angle`, sampled densely and spread
// bilinearly over the kernel's cells, summing to 1.
cv::Mat1f motionKernel(double length, double angle) {
  const int half = static_cast<int>(std::ceil(length / 2.0)) + 1;
  cv::Mat1f kernel = cv::Mat1f::zeros(2 * half + 1, 2 * half + 1);
  const int samples = std::max(2, static_cast<int>(std::ceil(8.0 * length)));
  for (int i = 0; i < samples; ++i) {
    const double along = (static_cast<double>(i) / (samples - 1) - 0.5) * length;
    const double x = half + along * std::cos(angle), y = half + along * std::sin(angle);
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    const float fx = static_cast<float>(x - x0), fy = static_cast<float>(y - y0);
    kernel(y0, x0) += (1 - fx) * (1 - fy);
    kernel(y0, x0 + 1) += fx * (1 - fy);
    kernel(y0 + 1, x0) += (1 - fx) * fy;
    kernel(y0 + 1, x0 + 1) += fx * fy;
  }
  return kernel / cv::sum(kernel)[0];
}

// Fog lowers the scene's contrast and the lens loses light toward its rim; the lens still
// images nothing outside its circle.
void scaleContrastAndVignette(cv::Mat1f& image, const RenderedLens& lens, double contrast, double vignetting) {
  const float c = static_cast<float>(contrast);
  const double quarterTurn = CV_PI / 2.0;
  for (int y = 0; y < image.rows; ++y) {
    float* row = image.ptr<float>(y);
    for (int x = 0; x < image.cols; ++x) {
      cv::Vec3d ray;
      if (!lens.unproject(x, y, ray)) continue;
      row[x] = kMidGrey + c * (row[x] - kMidGrey);
      if (vignetting > 0.0) {
        const double off = std::acos(std::clamp(ray[2], -1.0, 1.0)) / quarterTurn;
        row[x] *= std::max(kLeastVignettedShare, static_cast<float>(1.0 - vignetting * off * off));
      }
    }
  }
}

}  // namespace

bool StillEffects::changesStill() const {
  return contrast != 1.0 || vignetting > 0.0 || exposure != 1.0 || blurSigma > 0.0 || motionBlurLength > 0.0 || noiseSigma > 0.0 ||
         gamma != 1.0;
}

StillEffects drawStillEffects(const ShootOptions& shoot, std::uint64_t rigSeed, int camera) {
  const std::uint64_t seed = shoot.reshootSeed.value_or(rigSeed);
  const std::uint64_t stream = (shoot.reshootSeed ? kReshootStream : kShootStream) + static_cast<std::uint64_t>(camera);
  RandomStream random(seed, stream);
  StillEffects effects;
  effects.contrast = shoot.contrast;
  effects.blurSigma = shoot.blurSigma;
  effects.motionBlurLength = shoot.motionBlurLength;
  effects.motionBlurAngle = random.uniform(0.0, CV_PI);
  effects.noiseSigma = shoot.noiseSigma;
  effects.noiseSeed = seed;
  effects.noiseStream = stream + kNoiseOffset;
  if (shoot.reshootSeed) {
    effects.exposure = random.uniform(0.7, 1.3);
    effects.gamma = std::exp(random.uniform(std::log(0.8), std::log(1.25)));
  }
  effects.vignetting = shoot.vignetting;
  if (shoot.gain) effects.exposure *= drawFromRange(*shoot.gain, seed, kGainStream + static_cast<std::uint64_t>(camera));
  return effects;
}

cv::Mat applyStillEffects(const cv::Mat& still, const RenderedLens& lens, const StillEffects& effects) {
  if (!effects.changesStill()) return still;
  cv::Mat1f image;
  still.convertTo(image, CV_32F);
  if (effects.contrast != 1.0 || effects.vignetting > 0.0)
    scaleContrastAndVignette(image, lens, effects.contrast, effects.vignetting);
  if (effects.exposure != 1.0) image *= effects.exposure;
  if (effects.blurSigma > 0.0) cv::GaussianBlur(image, image, cv::Size(), effects.blurSigma);
  if (effects.motionBlurLength > 0.0)
    cv::filter2D(image, image, -1, motionKernel(effects.motionBlurLength, effects.motionBlurAngle));
  if (effects.noiseSigma > 0.0) {
    // One stream in row order: the same noise on any number of threads.
    RandomStream random(effects.noiseSeed, effects.noiseStream);
    for (int y = 0; y < image.rows; ++y) {
      float* row = image.ptr<float>(y);
      for (int x = 0; x < image.cols; ++x) row[x] += static_cast<float>(effects.noiseSigma * random.gaussian());
    }
  }
  if (effects.gamma != 1.0) {
    for (int y = 0; y < image.rows; ++y) {
      float* row = image.ptr<float>(y);
      for (int x = 0; x < image.cols; ++x)
        row[x] = static_cast<float>(255.0 * std::pow(std::clamp(row[x] / 255.0, 0.0, 1.0), effects.gamma));
    }
  }
  cv::Mat out;
  image.convertTo(out, CV_8U);  // rounds and saturates
  return out;
}

}  // namespace ringcalib::synth
