#include "report/view_samples.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

namespace ringcalib::report {

namespace {

cv::Mat reduced(const cv::Mat& image, double scale) {
  if (scale >= 1.0) return image.clone();
  cv::Mat small;
  cv::resize(image, small, cv::Size(), scale, scale, cv::INTER_AREA);
  return small;
}

}  // namespace

cv::Mat reducedPreview(const cv::Mat& view) {
  if (view.empty()) return cv::Mat();
  return reduced(view, static_cast<double>(kPreviewSide) / std::max(view.cols, view.rows));
}

void recordStrips(PairReport& pair, const cv::Mat& first, const cv::Mat& second, int stripX,
                  int stripWidth, const std::vector<cv::Point2f>& pts1,
                  const std::vector<cv::Point2f>& pts2) {
  pair.firstStrip.release();
  pair.secondStrip.release();
  pair.matches.clear();
  const cv::Rect strip(stripX, 0, stripWidth, std::min(first.rows, second.rows));
  const cv::Rect inside = strip & cv::Rect(0, 0, std::min(first.cols, second.cols), strip.height);
  if (inside.empty() || inside != strip) return;

  const double scale = std::min(1.0, static_cast<double>(kStripHeight) / strip.height);
  pair.firstStrip = reduced(first(strip), scale);
  pair.secondStrip = reduced(second(strip), scale);

  const std::size_t count = std::min(pts1.size(), pts2.size());
  const std::size_t drawn = std::min<std::size_t>(count, kDrawnMatches);
  const cv::Point2f offset(static_cast<float>(stripX), 0.0f);
  const float s = static_cast<float>(scale);
  for (std::size_t k = 0; k < drawn; ++k) {
    // Evenly spread over the list, which runs row by row down the strip.
    const std::size_t i = (2 * k + 1) * count / (2 * drawn);
    pair.matches.push_back({(pts1[i] - offset) * s, (pts2[i] - offset) * s});
  }
}

}  // namespace ringcalib::report
