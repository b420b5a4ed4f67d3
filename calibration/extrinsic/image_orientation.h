#pragma once

#include <vector>

#include <opencv2/core.hpp>

// Image orientation for the extrinsic job (8-bit images, any channel count). rotate90 and
// rotateImage point `image` at a new buffer; other headers that share the old data keep the
// old content.
namespace ringcalib::extrinsic {

// Raises every zero sample to 1, in place, so that 0 marks "no source" after the warps.
void setNonZero(cv::Mat& image);

// Quarter turn counter-clockwise: result pixel (r, k) is source pixel (k, cols - 1 - r).
void rotate90(cv::Mat& image);

// Inverse warp through H = K R K^-1: result pixel p samples the source bilinearly at H p.
// The 2x2 block must start inside the image (truncated position in [0, size - 2]), else
// the pixel is 0; values interpolated beyond the block are clamped to 0..255.
void rotateImage(cv::Mat& image, cv::Mat R, cv::Mat K);

// rotateImage for the given columns only; every other column of the result is 0. The
// pairs need only the strip that the flow reads (flowStripColumns), 30 % of the work.
void rotateImageColumns(cv::Mat& image, const cv::Mat& R, const cv::Mat& K,
                        const cv::Range& columns);

// Maps every point through H = K R K^-1, in place (the same H as rotateImage).
void rotatePoints(cv::Mat R, std::vector<cv::Point2f>& points, const cv::Mat& K);

}  // namespace ringcalib::extrinsic
