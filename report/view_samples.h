#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "report/report_data.h"

// Reduced copies of the extrinsic job's images for the report. The job's own images are
// only read; the report keeps small copies so that a ring's cameras and pairs stay cheap.
namespace ringcalib::report {

// Long side of a camera preview and height of a pair's strips, in pixels of the picture.
inline constexpr int kPreviewSide = 720;
inline constexpr int kStripHeight = 900;
// Correspondences drawn on a pair picture.
inline constexpr int kDrawnMatches = 40;

// A copy of `view` whose longer side is kPreviewSide (never enlarged).
cv::Mat reducedPreview(const cv::Mat& view);

// Cuts columns [stripX, stripX + stripWidth) out of the two warped views, reduces them to
// kStripHeight rows and keeps kDrawnMatches correspondences spread evenly over the lists
// (pts1 in the first and pts2 in the second view, in the warped views' pixels), mapped
// into the reduced strips.
void recordStrips(PairReport& pair, const cv::Mat& first, const cv::Mat& second, int stripX,
                  int stripWidth, const std::vector<cv::Point2f>& pts1,
                  const std::vector<cv::Point2f>& pts2);

}  // namespace ringcalib::report
