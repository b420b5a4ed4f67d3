#include "calibration/match_refinement.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace ringcalib::extrinsic {

namespace {

constexpr int kHalf = 7;
constexpr int kSide = 2 * kHalf + 1;
constexpr int kPixels = kSide * kSide;
constexpr int kMaxIterations = 12;
constexpr double kConvergedPx = 0.005;
constexpr double kMaxShiftPx = 1.0;     // from the flow's landing point
constexpr double kMinCorrelation = 0.8;
constexpr double kMaxReturnPx = 0.2;    // the backward measurement's miss
constexpr int kBaselineReach = 24;      // pixels either way along x, the baseline's direction
constexpr int kSamePeakPx = 3;
constexpr double kRivalShare = 0.8;

using Patch = std::array<float, kPixels>;

// One view with its gradients, as floats.
struct GradientView {
  cv::Mat1f image, dx, dy;
  explicit GradientView(const cv::Mat& view) {
    view.convertTo(image, CV_32F);
    cv::Scharr(image, dx, CV_32F, 1, 0, 1.0 / 32);
    cv::Scharr(image, dy, CV_32F, 0, 1, 1.0 / 32);
  }
};

// Bilinear samples of `image` on the patch grid around `centre`; false when any falls off
// the image.
bool samplePatch(const cv::Mat1f& image, cv::Point2f centre, Patch& out) {
  const float left = centre.x - kHalf;
  const float top = centre.y - kHalf;
  if (!(left >= 0.0f && top >= 0.0f && left + kSide < image.cols && top + kSide < image.rows)) {
    return false;
  }
  const int x0 = static_cast<int>(left);
  const int y0 = static_cast<int>(top);
  const float fx = left - x0;
  const float fy = top - y0;
  for (int r = 0; r < kSide; ++r) {
    const float* a = image.ptr<float>(y0 + r) + x0;
    const float* b = image.ptr<float>(y0 + r + 1) + x0;
    for (int c = 0; c < kSide; ++c) {
      out[r * kSide + c] = (1 - fy) * ((1 - fx) * a[c] + fx * a[c + 1]) +
                           fy * ((1 - fx) * b[c] + fx * b[c + 1]);
    }
  }
  return true;
}

// Zero mean and unit variance; returns the standard deviation it divided by (0: flat).
float normalise(Patch& p) {
  float sum = 0.0f;
  float squares = 0.0f;
  for (float v : p) {
    sum += v;
    squares += v * v;
  }
  const float mean = sum / kPixels;
  const float spread = std::sqrt(std::max(0.0f, squares / kPixels - mean * mean));
  if (!(spread > 1e-3f)) return 0.0f;
  const float scale = 1.0f / spread;
  for (float& v : p) v = (v - mean) * scale;
  return spread;
}

// A normalised patch with its gradients, the template that a sample is tracked with.
struct Template {
  Patch value, dx, dy;
  double h11 = 0.0, h12 = 0.0, h22 = 0.0;  // the Gauss-Newton matrix of its gradients
};

// The patch of `view` around `at`; false when it leaves the view or is flat.
bool makeTemplate(const GradientView& view, cv::Point2f at, Template& t) {
  if (!samplePatch(view.image, at, t.value) || !samplePatch(view.dx, at, t.dx) ||
      !samplePatch(view.dy, at, t.dy)) {
    return false;
  }
  const float spread = normalise(t.value);
  if (spread == 0.0f) return false;
  t.h11 = t.h12 = t.h22 = 0.0;
  for (int k = 0; k < kPixels; ++k) {
    t.dx[k] /= spread;
    t.dy[k] /= spread;
    t.h11 += t.dx[k] * t.dx[k];
    t.h12 += t.dx[k] * t.dy[k];
    t.h22 += t.dy[k] * t.dy[k];
  }
  return t.h11 * t.h22 - t.h12 * t.h12 > 0.0;
}

// Moves `at` (in `target`) until target's normalised patch there matches the template's:
// inverse compositional Gauss-Newton on the normalised difference, the template's gradients
// fixed. Returns the final ZNCC, or a value below -1 when the patch leaves the view or goes
// flat.
double track(const Template& t, const cv::Mat1f& target, cv::Point2f& at) {
  constexpr double kFailed = -2.0;
  const double det = t.h11 * t.h22 - t.h12 * t.h12;
  double correlation = kFailed;
  Patch p;
  for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
    if (!samplePatch(target, at, p) || normalise(p) == 0.0f) return kFailed;
    float b1 = 0.0f, b2 = 0.0f, squares = 0.0f;
    for (int k = 0; k < kPixels; ++k) {
      const float e = p[k] - t.value[k];
      b1 += t.dx[k] * e;
      b2 += t.dy[k] * e;
      squares += e * e;
    }
    correlation = 1.0 - 0.5 * squares / kPixels;
    const double stepX = (t.h22 * b1 - t.h12 * b2) / det;
    const double stepY = (t.h11 * b2 - t.h12 * b1) / det;
    at.x -= static_cast<float>(stepX);
    at.y -= static_cast<float>(stepY);
    if (std::hypot(stepX, stepY) < kConvergedPx) break;
  }
  return correlation;
}

// Whether another correlation peak along x, away from `at`, rivals the template's match
// there: ZNCC at whole-pixel offsets along a band sampled once, the window sums from the
// band's column sums.
bool ambiguousAlongBaseline(const cv::Mat1f& target, const Patch& templ, cv::Point2f at) {
  constexpr int kBandWidth = kSide + 2 * kBaselineReach;
  constexpr int kOffsets = 2 * kBaselineReach + 1;
  cv::Mat1f band;
  cv::getRectSubPix(target, cv::Size(kBandWidth, kSide), at, band, CV_32F);
  std::array<float, kBandWidth> columnSum{};
  std::array<float, kBandWidth> columnSquares{};
  std::array<float, kOffsets> cross{};
  for (int r = 0; r < kSide; ++r) {
    const float* row = band.ptr<float>(r);
    const float* model = templ.data() + r * kSide;
    for (int c = 0; c < kBandWidth; ++c) {
      columnSum[c] += row[c];
      columnSquares[c] += row[c] * row[c];
    }
    for (int i = 0; i < kOffsets; ++i) {
      float dot = 0.0f;
      for (int c = 0; c < kSide; ++c) dot += row[i + c] * model[c];
      cross[i] += dot;
    }
  }
  std::array<float, kOffsets> score{};
  float sum = 0.0f;
  float squares = 0.0f;
  for (int c = 0; c < kSide; ++c) {
    sum += columnSum[c];
    squares += columnSquares[c];
  }
  for (int i = 0; i < kOffsets; ++i) {
    if (i > 0) {
      sum += columnSum[i + kSide - 1] - columnSum[i - 1];
      squares += columnSquares[i + kSide - 1] - columnSquares[i - 1];
    }
    // The template has zero mean and unit variance: ZNCC = cross / (n · spread).
    const float mean = sum / kPixels;
    const float variance = squares / kPixels - mean * mean;
    score[i] = variance > 1e-6f ? cross[i] / (kPixels * std::sqrt(variance)) : 0.0f;
  }
  const float rival = static_cast<float>(kRivalShare) * score[kBaselineReach];
  for (int i = 0; i < kOffsets; ++i) {
    if (std::abs(i - kBaselineReach) <= kSamePeakPx || !(score[i] > rival)) continue;
    const bool peak = (i == 0 || score[i] >= score[i - 1]) && (i + 1 == kOffsets || score[i] >= score[i + 1]);
    if (peak) return true;
  }
  return false;
}

}  // namespace

RefinedSamples refineSamples(const cv::Mat& first, const cv::Mat& second, const cv::Range& strip,
                             const std::vector<cv::Point2f>& from,
                             const std::vector<cv::Point2f>& to,
                             const std::vector<unsigned char>& use) {
  RefinedSamples refined{to, std::vector<unsigned char>(to.size(), 0)};
  // The strip's columns only (the rest of the warped views is empty); points move by its
  // first column.
  const cv::Range columns(std::max(0, strip.start), std::min(first.cols, strip.end));
  if (columns.empty() || second.size() != first.size()) return refined;
  const GradientView one(first.colRange(columns));
  const GradientView two(second.colRange(columns));
  const cv::Point2f shift(static_cast<float>(columns.start), 0.0f);
  Template forward;
  Template backward;
  for (std::size_t k = 0; k < from.size() && k < to.size(); ++k) {
    if (k >= use.size() || use[k] == 0) continue;
    const cv::Point2f origin = from[k] - shift;
    const cv::Point2f flowed = to[k] - shift;
    if (!makeTemplate(one, origin, forward)) continue;
    cv::Point2f landing = flowed;
    if (!(track(forward, two.image, landing) >= kMinCorrelation) ||
        !(cv::norm(landing - flowed) <= kMaxShiftPx)) {
      continue;
    }
    if (!makeTemplate(two, landing, backward)) continue;
    cv::Point2f start = origin;
    if (!(track(backward, one.image, start) >= kMinCorrelation) ||
        !(cv::norm(start - origin) <= kMaxReturnPx)) {
      continue;
    }
    if (ambiguousAlongBaseline(two.image, forward.value, landing)) continue;
    refined.warped2[k] = landing + shift;
    refined.kept[k] = 1;
  }
  return refined;
}

}  // namespace ringcalib::extrinsic
