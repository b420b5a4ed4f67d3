#include "tools/board_renderer.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "tools/rolling_rows.h"

namespace ringcalib::synth {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Antiderivative of the square wave s(x) = +1 on [2k, 2k + 1), −1 on [2k + 1, 2k + 2): the
// triangle wave T(x) = m for m = x mod 2 < 1, else 2 − m.
double squareWaveIntegral(double x) {
  const double m = x - 2.0 * std::floor(x / 2.0);
  return m < 1.0 ? m : 2.0 - m;
}

// Box filter of width 2w centred on x, along one board axis of `length` squares, of
//   inside(x) = 1 on [0, length]            -> coverage
//   inside(x) · s(x)                         -> signed checker term
// both from their antiderivatives: (G(x + w) − G(x − w)) / 2w, or point values when w ~ 0.
struct AxisFilter {
  double coverage;
  double checker;
};

// Box filter of width 2w centred on x of inside(x) = 1 on [from, to].
double coverage(double x, double w, double from, double to) {
  if (w < 1e-9) return x >= from && x < to ? 1.0 : 0.0;
  return (std::clamp(x + w, from, to) - std::clamp(x - w, from, to)) / (2.0 * w);
}

AxisFilter filterAxis(double x, double w, double length) {
  if (w < 1e-9) {
    if (x < 0.0 || x >= length) return {0.0, 0.0};
    return {1.0, static_cast<long>(std::floor(x)) % 2 == 0 ? 1.0 : -1.0};
  }
  const double lo = std::clamp(x - w, 0.0, length);
  const double hi = std::clamp(x + w, 0.0, length);
  return {(hi - lo) / (2.0 * w), (squareWaveIntegral(hi) - squareWaveIntegral(lo)) / (2.0 * w)};
}

// Board coordinates hit by the ray through each pixel of one row span (NaN when missed).
void boardRow(const PixelRays& rays, const BoardPose& pose, int row, int x0, int x1,
              std::vector<cv::Point2d>& out) {
  const cv::Vec3d n = pose.normal();
  const double planeOffset = pose.centre.dot(n);
  out.resize(static_cast<size_t>(x1 - x0));
  for (int x = x0; x < x1; ++x) {
    cv::Point2d& b = out[static_cast<size_t>(x - x0)];
    b = {kNaN, kNaN};
    cv::Vec3d ray;
    if (!rays.at(x, row, ray)) continue;
    const double denom = ray.dot(n);
    if (std::abs(denom) < 1e-12) continue;
    const double s = planeOffset / denom;
    if (s <= 0.0) continue;
    const cv::Vec3d offset = s * ray - pose.centre;
    b = {offset.dot(pose.axisX) + pose.squares.width / 2.0, offset.dot(pose.axisY) + pose.squares.height / 2.0};
  }
}

// Central difference where both neighbours exist, else one-sided, else none.
cv::Point2d derivative(const cv::Point2d& before, const cv::Point2d& at, const cv::Point2d& after) {
  const bool hasBefore = !std::isnan(before.x);
  const bool hasAfter = !std::isnan(after.x);
  if (hasBefore && hasAfter) return (after - before) * 0.5;
  if (hasAfter) return after - at;
  if (hasBefore) return at - before;
  return {0.0, 0.0};
}

// Pixel rectangle that holds the board's image, from its outline (padded by a quarter
// square) sampled densely enough that the fisheye's bulging edges stay inside the margin.
cv::Rect boardFootprint(const FisheyeLens& lens, const BoardPose& pose, cv::Size size, double margin) {
  constexpr int kSamplesPerEdge = 64;
  const double kPad = 0.25 + margin;
  constexpr int kMarginPx = 4;
  double minX = size.width, minY = size.height, maxX = -1.0, maxY = -1.0;
  auto include = [&](double bx, double by) {
    const cv::Vec3d p = pose.point(bx, by);
    if (std::atan2(std::hypot(p[0], p[1]), p[2]) > lens.maxTheta()) {
      // Part of the board lies beyond the lens' field: render the whole frame.
      minX = minY = 0.0;
      maxX = size.width;
      maxY = size.height;
      return;
    }
    const cv::Point2d q = lens.project(p);
    minX = std::min(minX, q.x);
    maxX = std::max(maxX, q.x);
    minY = std::min(minY, q.y);
    maxY = std::max(maxY, q.y);
  };
  const double x0 = -kPad, x1 = pose.squares.width + kPad, y0 = -kPad, y1 = pose.squares.height + kPad;
  for (int i = 0; i <= kSamplesPerEdge; ++i) {
    const double a = static_cast<double>(i) / kSamplesPerEdge;
    include(x0 + a * (x1 - x0), y0);
    include(x0 + a * (x1 - x0), y1);
    include(x0, y0 + a * (y1 - y0));
    include(x1, y0 + a * (y1 - y0));
  }
  const cv::Rect box(cv::Point(static_cast<int>(std::floor(minX)) - kMarginPx,
                               static_cast<int>(std::floor(minY)) - kMarginPx),
                     cv::Point(static_cast<int>(std::ceil(maxX)) + kMarginPx + 1,
                               static_cast<int>(std::ceil(maxY)) + kMarginPx + 1));
  return box & cv::Rect(cv::Point(0, 0), size);
}

}  // namespace

cv::Mat renderBoardFrame(const FisheyeLens& lens, const PixelRays& rays, const std::optional<BoardPose>& pose,
                         cv::Size size, const BoardShading& shading, const NoiseTile& noise, std::uint64_t frameKey) {
  cv::Mat frame(size, CV_8UC1);
  // Without a board the footprint is empty and no board row is ever computed.
  const double margin = shading.printed ? shading.paperMargin : 0.0;
  const cv::Rect box = pose ? boardFootprint(lens, *pose, size, margin) : cv::Rect();
  cv::parallel_for_(cv::Range(0, size.height), [&](const cv::Range& rows) {
    // Board coordinates of the rows above and below give the footprint of each pixel.
    RollingRows<cv::Point2d, std::function<void(int, std::vector<cv::Point2d>&)>> board(
        [&](int y, std::vector<cv::Point2d>& out) { boardRow(rays, *pose, y, box.x, box.x + box.width, out); });
    for (int y = rows.start; y < rows.end; ++y) {
      uchar* out = frame.ptr<uchar>(y);
      const bool boardRowHere = y >= box.y && y < box.y + box.height && !box.empty();
      if (boardRowHere) board.moveTo(y);
      const std::vector<cv::Point2d>& above = board.above();
      const std::vector<cv::Point2d>& current = board.current();
      const std::vector<cv::Point2d>& below = board.below();
      const NoiseTile::Row noiseRow = noise.row(y, frameKey);
      int noiseColumn = noiseRow.start;
      for (int x = 0; x < size.width; ++x) {
        double value = shading.dark;
        const int i = x - box.x;
        if (boardRowHere && i >= 0 && i < box.width) {
          const cv::Point2d& b = current[static_cast<size_t>(i)];
          if (!std::isnan(b.x)) {
            const cv::Point2d nan(kNaN, kNaN);
            const cv::Point2d du = derivative(i > 0 ? current[static_cast<size_t>(i - 1)] : nan, b,
                                              i + 1 < box.width ? current[static_cast<size_t>(i + 1)] : nan);
            const cv::Point2d dv = derivative(above[static_cast<size_t>(i)], b, below[static_cast<size_t>(i)]);
            // Half extents of the pixel's footprint (the projected unit square) along the board axes.
            const double wx = 0.5 * (std::abs(du.x) + std::abs(dv.x));
            const double wy = 0.5 * (std::abs(du.y) + std::abs(dv.y));
            const AxisFilter fx = filterAxis(b.x, wx, pose->squares.width);
            const AxisFilter fy = filterAxis(b.y, wy, pose->squares.height);
            // Light squares: inside(x) inside(y) (1 + s(x) s(y)) / 2, filtered factor by factor;
            // printed, those squares are the dark ones on the paper.
            const double squareShare = 0.5 * (fx.coverage * fy.coverage + fx.checker * fy.checker);
            const double whiteShare =
                shading.printed ? coverage(b.x, wx, -margin, pose->squares.width + margin) *
                                          coverage(b.y, wy, -margin, pose->squares.height + margin) -
                                      squareShare
                                : squareShare;
            value = shading.dark + (shading.white - shading.dark) * whiteShare;
          }
        }
        out[x] = cv::saturate_cast<uchar>(value + shading.noiseSigma * noiseRow.values[noiseColumn]);
        if (++noiseColumn == NoiseTile::kSize) noiseColumn = 0;
      }
    }
  });
  return frame;
}

}  // namespace ringcalib::synth
