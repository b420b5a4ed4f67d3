#include "tools/scene_texture.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace ringcalib::synth {
namespace {

// Sum of octaves of smoothly interpolated Gaussian grids with cells of 2, 4, … texels up to
// about 2 m; the amplitude grows slowly with the cell size (a mildly red spectrum), so that
// every scale from the finest to the coarsest carries contrast. Unit standard deviation.
cv::Mat1f octaveNoise(RandomStream& random, cv::Size size, double texelMetres) {
  cv::Mat1f sum(size, 0.0f);
  double variance = 0.0;
  for (int cell = 2; cell * texelMetres <= 2.0 && cell <= 4 * std::max(size.width, size.height); cell *= 2) {
    cv::Mat1f grid(size.height / cell + 4, size.width / cell + 4);
    for (float& g : grid) g = static_cast<float>(random.gaussian());
    cv::Mat1f smooth;
    cv::resize(grid, smooth, cv::Size(grid.cols * cell, grid.rows * cell), 0, 0, cv::INTER_CUBIC);
    const double amplitude = std::pow(static_cast<double>(cell), 0.25);
    sum += amplitude * smooth(cv::Rect(cell, cell, size.width, size.height));
    variance += amplitude * amplitude;
  }
  // Cubic interpolation of unit-variance grids keeps about half the variance.
  return sum * (1.0 / std::sqrt(0.5 * std::max(variance, 1.0)));
}

void drawShapes(RandomStream& random, cv::Mat1b& texture, double texelMetres) {
  constexpr int kShift = 4;  // sub-texel precision of the drawing calls
  const double areaM2 = texture.total() * texelMetres * texelMetres;
  const int count = static_cast<int>(areaM2 * 4.0);
  auto fixed = [](double v) { return static_cast<int>(std::lround(v * (1 << kShift))); };
  for (int k = 0; k < count; ++k) {
    const double sizeTexels = std::exp(random.uniform(std::log(0.02), std::log(0.6))) / texelMetres;
    const cv::Point2d c(random.uniform(0.0, texture.cols), random.uniform(0.0, texture.rows));
    const cv::Scalar grey(random.uniform(10.0, 245.0));
    const double kind = random.uniform();
    if (kind < 0.4) {
      cv::circle(texture, cv::Point(fixed(c.x), fixed(c.y)), fixed(0.5 * sizeTexels), grey, cv::FILLED, cv::LINE_AA,
                 kShift);
    } else if (kind < 0.8) {
      const cv::RotatedRect box(c, cv::Size2f(static_cast<float>(sizeTexels), static_cast<float>(sizeTexels * random.uniform(0.2, 1.0))),
                                static_cast<float>(random.uniform(0.0, 180.0)));
      cv::Point2f corners[4];
      box.points(corners);
      std::vector<cv::Point> polygon;
      for (const cv::Point2f& p : corners) polygon.emplace_back(fixed(p.x), fixed(p.y));
      cv::fillConvexPoly(texture, polygon, grey, cv::LINE_AA, kShift);
    } else {
      const double angle = random.uniform(0.0, CV_PI);
      const cv::Point2d half(0.5 * sizeTexels * std::cos(angle), 0.5 * sizeTexels * std::sin(angle));
      const int thickness = std::max(1, static_cast<int>(std::lround(random.uniform(0.005, 0.03) / texelMetres)));
      cv::line(texture, cv::Point(fixed(c.x - half.x), fixed(c.y - half.y)),
               cv::Point(fixed(c.x + half.x), fixed(c.y + half.y)), grey, thickness, cv::LINE_AA, kShift);
    }
  }
}

cv::Mat1b proceduralTexels(RandomStream& random, cv::Size size, double texelMetres, double mean, double contrast) {
  size = cv::Size(std::max(size.width, 8), std::max(size.height, 8));
  cv::Mat1b base;
  cv::Mat1f noise = octaveNoise(random, size, texelMetres);
  noise.convertTo(base, CV_8U, contrast, mean);
  drawShapes(random, base, texelMetres);
  return base;
}

}  // namespace

SceneTexture::SceneTexture(RandomStream& random, cv::Size size, double texelMetres, double mean, double contrast)
    : SceneTexture(proceduralTexels(random, size, texelMetres, mean, contrast)) {}

SceneTexture::SceneTexture(const cv::Mat1b& base) {
  levels_.push_back(base);
  while (levels_.back().cols > 4 && levels_.back().rows > 4) {
    cv::Mat1b next;
    cv::pyrDown(levels_.back(), next);
    levels_.push_back(next);
  }
}

float SceneTexture::bilinear(int level, double u, double v) const {
  const cv::Mat1b& image = levels_[static_cast<size_t>(level)];
  const double scale = std::ldexp(1.0, -level);  // pyrDown keeps texel i of a level at 2i of the one below
  const double x = std::clamp(u * scale, 0.0, image.cols - 1.0);
  const double y = std::clamp(v * scale, 0.0, image.rows - 1.0);
  // Every level has at least 2 × 2 texels (the pyramid stops above 4).
  const int x0 = std::min(static_cast<int>(x), image.cols - 2);
  const int y0 = std::min(static_cast<int>(y), image.rows - 2);
  const double fx = x - x0, fy = y - y0;
  const double top = image(y0, x0) * (1.0 - fx) + image(y0, x0 + 1) * fx;
  const double bottom = image(y0 + 1, x0) * (1.0 - fx) + image(y0 + 1, x0 + 1) * fx;
  return static_cast<float>(top * (1.0 - fy) + bottom * fy);
}

float SceneTexture::sample(double u, double v, double footprint) const {
  // Level of detail log2(footprint), blended between the two nearest levels.
  const int last = static_cast<int>(levels_.size()) - 1;
  const double lod = std::clamp(std::log2(std::max(footprint, 1.0)), 0.0, static_cast<double>(last));
  const int level = std::min(static_cast<int>(lod), last);
  const double blend = lod - level;
  if (blend == 0.0 || level == last) return bilinear(level, u, v);
  return static_cast<float>((1.0 - blend) * bilinear(level, u, v) + blend * bilinear(level + 1, u, v));
}

}  // namespace ringcalib::synth
