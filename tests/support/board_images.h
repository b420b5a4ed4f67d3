#pragma once

#include <cmath>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

// Synthetic views of the job's board (10 x 13 squares, 9 x 12 inner corners): a light board
// on a dark surround, inner corner (x, y) at board point (x, y).
namespace ringcalib::test {

// Board units to pixels: the board centred at `centre`, `squarePixels` per square edge,
// turned by `turnDeg` in the image plane and tilted by `tiltDeg` about its vertical axis
// (seen by a pinhole 10 board widths away).
inline cv::Matx33d boardToImage(cv::Point2d centre, double squarePixels, double turnDeg = 0.0,
                                double tiltDeg = 0.0) {
  const double turn = turnDeg * CV_PI / 180.0, tilt = tiltDeg * CV_PI / 180.0;
  const cv::Matx33d centreBoard(1, 0, -4.0, 0, 1, -5.5, 0, 0, 1);
  const cv::Matx33d tilted(std::cos(tilt), 0, 0, 0, 1, 0, -std::sin(tilt) / 90.0, 0, 1);
  const cv::Matx33d turned(std::cos(turn), -std::sin(turn), 0, std::sin(turn), std::cos(turn), 0, 0, 0, 1);
  return cv::Matx33d(squarePixels, 0, centre.x, 0, squarePixels, centre.y, 0, 0, 1) * turned * tilted * centreBoard;
}

inline std::vector<cv::Point2f> boardCorners(const cv::Matx33d& toImage) {
  std::vector<cv::Point2f> corners;
  for (int i = 0; i < 108; ++i) {
    const cv::Vec3d p = toImage * cv::Vec3d(i % 9, i / 9, 1.0);
    corners.emplace_back(static_cast<float>(p[0] / p[2]), static_cast<float>(p[1] / p[2]));
  }
  return corners;
}

// Squares of `light` and `dark` (the first one light) on a surround of 25, one channel.
inline cv::Mat renderBoard(cv::Size size, const cv::Matx33d& toImage, uchar light = 210, uchar dark = 40) {
  constexpr int kTexel = 48;  // texture pixels per square edge
  cv::Mat texture(13 * kTexel, 10 * kTexel, CV_8UC1);
  for (int v = 0; v < texture.rows; ++v) {
    for (int u = 0; u < texture.cols; ++u) texture.at<uchar>(v, u) = (u / kTexel + v / kTexel) % 2 == 0 ? light : dark;
  }
  // Texture pixel centre u lies at board x = (u + 0.5) / kTexel - 1.
  const cv::Matx33d boardToTexture(kTexel, 0, kTexel - 0.5, 0, kTexel, kTexel - 0.5, 0, 0, 1);
  cv::Mat image;
  cv::warpPerspective(texture, image, toImage * boardToTexture.inv(), size, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                      cv::Scalar(25));
  return image;
}

}  // namespace ringcalib::test
