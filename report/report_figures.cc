#include "report/report_figures.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>

#include <opencv2/imgproc.hpp>

#include "core/number_format.h"
#include "pose/angles.h"
#include "rig/lens_field.h"

namespace ringcalib::report {

namespace {

const cv::Scalar kBackground(32, 32, 32);
const cv::Scalar kForeground(230, 230, 230);
const cv::Scalar kMuted(140, 140, 140);
const cv::Scalar kMarker(60, 60, 255);
constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;
constexpr double kFontScale = 0.5;
constexpr int kBand = 30;  // height of a title or legend band

void text(cv::Mat& canvas, const std::string& line, cv::Point at,
          const cv::Scalar& colour = kForeground) {
  cv::putText(canvas, line, at, kFont, kFontScale, colour, 1, cv::LINE_AA);
}

// The residual colour scale: 256 colours of the turbo map, blue (small) to red (large).
const cv::Mat& palette() {
  static const cv::Mat colours = [] {
    cv::Mat ramp(1, 256, CV_8UC1);
    for (int i = 0; i < 256; ++i) ramp.at<uchar>(0, i) = static_cast<uchar>(i);
    cv::Mat mapped;
    cv::applyColorMap(ramp, mapped, cv::COLORMAP_TURBO);
    return mapped;
  }();
  return colours;
}

cv::Scalar residualColour(double residual) {
  const double position = std::clamp(residual / kResidualScalePx, 0.0, 1.0);
  const cv::Vec3b c = palette().at<cv::Vec3b>(0, static_cast<int>(std::lround(position * 255)));
  return cv::Scalar(c[0], c[1], c[2]);
}

// The colour scale with its end labels, across the band that starts at row `top`.
void drawScale(cv::Mat& canvas, int top) {
  const int left = 60;
  const int right = canvas.cols - 80;
  for (int x = left; x < right; ++x) {
    const double residual = kResidualScalePx * (x - left) / (right - left - 1);
    cv::line(canvas, {x, top + 6}, {x, top + 16}, residualColour(residual));
  }
  text(canvas, "0 px", {left - 40, top + 16});
  text(canvas, formatNumber(">=%.1f px", kResidualScalePx), {right + 6, top + 16});
}

// Copies an 8-bit grey, BGR or BGRA image into `canvas` with its top left corner at `at`.
void pasteAsBgr(cv::Mat& canvas, const cv::Mat& image, cv::Point at) {
  if (image.empty()) return;
  cv::Mat target = canvas(cv::Rect(at, image.size()));
  if (image.channels() == 1) {
    cv::cvtColor(image, target, cv::COLOR_GRAY2BGR);
  } else if (image.channels() == 4) {
    cv::cvtColor(image, target, cv::COLOR_BGRA2BGR);
  } else {
    image.copyTo(target);
  }
}

}  // namespace

cv::Mat drawCoverage(const IntrinsicReport& intrinsic, int camera) {
  const cv::Size frame = intrinsic.frameSize.area() > 0 ? intrinsic.frameSize : cv::Size(3200, 2400);
  const int width = 640;
  const double scale = static_cast<double>(width) / frame.width;
  const int height = std::max(1, static_cast<int>(std::lround(frame.height * scale)));
  cv::Mat canvas(height + 2 * kBand, width, CV_8UC3, kBackground);
  const cv::Rect area(0, kBand, width, height);
  cv::rectangle(canvas, area, kMuted);

  std::vector<const CornerResidual*> order;
  for (const CornerResidual& corner : intrinsic.corners) order.push_back(&corner);
  std::stable_sort(order.begin(), order.end(), [](const CornerResidual* a, const CornerResidual* b) {
    return a->residual < b->residual;
  });
  for (const CornerResidual* corner : order) {
    const cv::Point at(static_cast<int>(std::lround(corner->position.x * scale)),
                       kBand + static_cast<int>(std::lround(corner->position.y * scale)));
    cv::circle(canvas, at, 2, residualColour(corner->residual), cv::FILLED, cv::LINE_AA);
  }
  text(canvas,
       "camera " + std::to_string(camera) + ": " + std::to_string(intrinsic.corners.size()) +
           " corners in " + std::to_string(frame.width) + " x " + std::to_string(frame.height),
       {8, 20});
  drawScale(canvas, kBand + height + 4);
  return canvas;
}

cv::Mat drawField(const IntrinsicReport& intrinsic, const rig::FisheyeCamera& camera, int cameraNumber) {
  const FieldReport& field = *intrinsic.field;
  const cv::Size frame = camera.frameSize;
  const int width = 640;
  const double scale = static_cast<double>(width) / frame.width;
  const int height = std::max(1, static_cast<int>(std::lround(frame.height * scale)));
  cv::Mat canvas(height + 2 * kBand, width, CV_8UC3, kBackground);
  const cv::Rect area(0, kBand, width, height);
  cv::Mat inside = canvas(area);
  const rig::FisheyeLens lens(camera);
  // The picture of the ray `theta` off the axis at `azimuth`, both radians.
  const auto at = [&](double theta, double azimuth) {
    const cv::Point2d p =
        lens.project({std::sin(theta) * std::cos(azimuth), std::sin(theta) * std::sin(azimuth), std::cos(theta)});
    return cv::Point(static_cast<int>(std::lround(p.x * scale)), static_cast<int>(std::lround(p.y * scale)));
  };
  // An arc of equal angle off the axis, as far as the model images it.
  const auto arc = [&](double degrees, double fromAzimuth, double toAzimuth, const cv::Scalar& colour, int thickness) {
    const double theta = degrees * kRadiansPerDegree;
    if (!(theta <= lens.maxTheta())) return;
    std::vector<cv::Point> points;
    constexpr int kSteps = 180;
    for (int k = 0; k <= kSteps; ++k) points.push_back(at(theta, fromAzimuth + (toAzimuth - fromAzimuth) * k / kSteps));
    cv::polylines(inside, points, false, colour, thickness, cv::LINE_AA);
  };
  const auto ring = [&](double degrees, const cv::Scalar& colour, int thickness) {
    arc(degrees, 0.0, 2.0 * CV_PI, colour, thickness);
  };
  // The corners first, dimmed: thousands of them would hide the rings and their labels.
  const cv::Scalar cornerColour(110, 110, 110);
  for (const CornerResidual& corner : intrinsic.corners) {
    cv::circle(inside, cv::Point2d(corner.position) * scale, 1, cornerColour, cv::FILLED, cv::LINE_AA);
  }
  for (int degrees = 15; degrees <= 90; degrees += 15) ring(degrees, kMuted, 1);
  const cv::Scalar reached(255, 200, 0);
  const cv::Scalar needed(0, 160, 255);
  ring(field.neededDeg, needed, 2);
  if (field.folds()) ring(field.foldDeg, kMarker, 2);
  // The farthest corner in each direction: where the boards reached, and where they did not.
  constexpr int kSectors = 72;
  std::vector<double> farthest(kSectors, -1.0);
  for (const CornerResidual& corner : intrinsic.corners) {
    const double azimuth = std::atan2((corner.position.y - camera.K(1, 2)) / camera.K(1, 1),
                                      (corner.position.x - camera.K(0, 2)) / camera.K(0, 0));
    const int sector = static_cast<int>(std::floor((azimuth + CV_PI) / (2.0 * CV_PI) * kSectors)) % kSectors;
    farthest[sector] = std::max(farthest[sector], rig::angleOffAxisDeg(lens, corner.position));
  }
  for (int sector = 0; sector < kSectors; ++sector) {
    if (farthest[sector] < 0.0) continue;
    const double from = -CV_PI + 2.0 * CV_PI * sector / kSectors;
    arc(farthest[sector], from, from + 2.0 * CV_PI / kSectors, reached, 2);
  }
  for (int degrees = 15; degrees <= 90; degrees += 15) {
    if (degrees * kRadiansPerDegree > lens.maxTheta()) continue;
    const cv::Point label = at(degrees * kRadiansPerDegree, 0.0) + cv::Point(3, -3);
    cv::putText(inside, std::to_string(degrees), label, kFont, 0.4, kForeground, 1, cv::LINE_AA);
  }
  cv::rectangle(canvas, area, kMuted);
  std::string title = "camera " + std::to_string(cameraNumber) +
                      formatNumber(": corners reach %.1f deg off the axis, ", field.coveredDeg) +
                      formatNumber("%.1f needed", field.neededDeg);
  if (field.folds()) title += formatNumber(", model folds at %.1f", field.foldDeg);
  text(canvas, title, {8, 20});
  int x = 8;
  const auto legend = [&](const std::string& name, const cv::Scalar& colour) {
    text(canvas, name, {x, kBand + height + 20}, colour);
    x += cv::getTextSize(name, kFont, kFontScale, 1, nullptr).width + 16;
  };
  legend("farthest corner per direction", reached);
  legend("needed by the stills", needed);
  if (field.folds()) legend("model folds", kMarker);
  legend("every 15 deg", kMuted);
  return canvas;
}

cv::Mat drawPairMatches(const PairReport& pair) {
  const int gap = 24;
  const cv::Size a = pair.firstStrip.size();
  const cv::Size b = pair.secondStrip.size();
  cv::Mat canvas(std::max(a.height, b.height) + kBand, std::max(a.width + gap + b.width, 400),
                 CV_8UC3, kBackground);
  const cv::Point firstAt(0, kBand);
  const cv::Point secondAt(a.width + gap, kBand);
  pasteAsBgr(canvas, pair.firstStrip, firstAt);
  pasteAsBgr(canvas, pair.secondStrip, secondAt);
  // Bright colours in turn, so that neighbouring lines tell apart on grey images.
  static const cv::Scalar kLineColours[] = {{0, 255, 255}, {255, 0, 255}, {0, 255, 0},
                                            {255, 255, 0}, {0, 128, 255}, {255, 96, 96}};
  for (std::size_t k = 0; k < pair.matches.size(); ++k) {
    const cv::Scalar& colour = kLineColours[k % std::size(kLineColours)];
    const cv::Point2f p = pair.matches[k].first + cv::Point2f(firstAt);
    const cv::Point2f q = pair.matches[k].second + cv::Point2f(secondAt);
    cv::line(canvas, p, q, colour, 1, cv::LINE_AA);
    cv::circle(canvas, p, 4, colour, 2, cv::LINE_AA);
    cv::circle(canvas, q, 4, colour, 2, cv::LINE_AA);
  }
  text(canvas,
       "pair " + std::to_string(pair.pair) + ": camera " + std::to_string(pair.first) + " | " +
           std::to_string(pair.second) + ", " + std::to_string(pair.matches.size()) + " of " +
           std::to_string(pair.correspondences) + " matches",
       {8, 20});
  return canvas;
}

cv::Mat drawErrorHistogram(const std::vector<double>& errors, int pair) {
  const int width = 640, height = 360, left = 60, right = 20, top = kBand + 10, bottom = 40;
  cv::Mat canvas(height, width, CV_8UC3, kBackground);
  std::vector<double> sorted;
  for (double e : errors) {
    if (std::isfinite(e)) sorted.push_back(e);
  }
  std::sort(sorted.begin(), sorted.end());
  text(canvas, "pair " + std::to_string(pair) + ": final reprojection errors of " +
                   std::to_string(sorted.size()) + " correspondences",
       {8, 20});
  if (sorted.empty()) return canvas;

  const double median = sorted[sorted.size() / 2];
  const double p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
  const double upper = p99 > 0.0 ? p99 : 1.0;
  constexpr int kBins = 40;
  std::vector<int> counts(kBins, 0);
  for (double e : sorted) ++counts[std::min(kBins - 1, static_cast<int>(e / upper * kBins))];
  const int tallest = *std::max_element(counts.begin(), counts.end());

  const int plotWidth = width - left - right;
  const int plotHeight = height - top - bottom;
  const int base = top + plotHeight;
  for (int i = 0; i < kBins; ++i) {
    const int x0 = left + i * plotWidth / kBins;
    const int x1 = left + (i + 1) * plotWidth / kBins - 1;
    const int h = static_cast<int>(std::lround(static_cast<double>(counts[i]) / tallest * plotHeight));
    if (h > 0) cv::rectangle(canvas, {x0, base - h}, {x1, base - 1}, cv::Scalar(200, 160, 90), cv::FILLED);
  }
  cv::line(canvas, {left, base}, {left + plotWidth, base}, kForeground);
  cv::line(canvas, {left, top}, {left, base}, kForeground);
  text(canvas, "0", {left - 4, base + 18});
  text(canvas, formatNumber("%.2f px", upper / 2), {left + plotWidth / 2 - 24, base + 18});
  text(canvas, formatNumber(">=%.2f px", upper), {left + plotWidth - 80, base + 18});
  text(canvas, std::to_string(tallest), {8, top + 12});
  text(canvas, "0", {left - 16, base});
  const int medianX = left + static_cast<int>(std::lround(std::min(median / upper, 1.0) * plotWidth));
  cv::line(canvas, {medianX, top}, {medianX, base}, kMarker, 2);
  text(canvas, formatNumber("median %.3f px", median), {std::min(medianX + 6, width - 140), top + 12}, kMarker);
  return canvas;
}

}  // namespace ringcalib::report
