#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "report/report_data.h"

// The pictures of the page, drawn with the image library (8-bit BGR).
namespace ringcalib::report {

// Residuals are coloured on one fixed scale for every camera, from 0 px up to this value
// (and beyond, in the last colour), so that pictures of different cameras compare.
inline constexpr double kResidualScalePx = 1.0;

// The frame with every accepted corner as a dot coloured by its residual, larger
// residuals drawn last (on top), and the colour scale below.
cv::Mat drawCoverage(const IntrinsicReport& intrinsic, int camera);

// The frame with the solve's corners and, under the camera's model, rings of equal angle off
// the axis every 15 degrees, the angle the stills are used to and where the model folds
// (intrinsic.field, which must be set), and in each direction an arc at the farthest corner.
cv::Mat drawField(const IntrinsicReport& intrinsic, const rig::FisheyeCamera& camera, int cameraNumber);

// The two reduced strips side by side, the drawn correspondences joined by lines.
cv::Mat drawPairMatches(const PairReport& pair);

// Histogram of the final per-correspondence errors with the median marked. The range
// ends at the 99th percentile; larger errors are counted in the last bar.
cv::Mat drawErrorHistogram(const std::vector<double>& errors, int pair);

}  // namespace ringcalib::report
