// Screening of sampled frames and validation of the detected checkerboard corners.

#include <cmath>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include "calibration/back_off.h"
#include "calibration/video_calibration.h"

namespace {

// cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE | cv::CALIB_CB_FAST_CHECK.
constexpr int kBoardSearchFlags = 11;

// The cheap test runs on a copy of this size whatever the frame's own size.
const cv::Size kFastCheckSize(1000, 750);

// The full search runs on the frame reduced by this factor; corners are scaled back.
constexpr double kDetectionReduction = 3.2;

// A corner whose 7 x 7 window has a lower contrast than this is blurred or on flat ground.
constexpr double kMinCornerContrast = 0.1;

// |cos| of the angle between successive grid segments: 0.99 allows about 8.1 degrees.
constexpr double kMinSegmentAlignment = 0.99;

}  // namespace

bool VideoCalibration::fastChect(const cv::Mat& frame, int w, int h) {
  int& badCnt = ringcalib::back_off::processCounter();
  if (!ringcalib::back_off::testsNext(badCnt)) {
    ++badCnt;
    return false;
  }
  const bool found = cheapBoardTest(frame, w, h);
  badCnt = ringcalib::back_off::after(badCnt, found);
  return found;
}

bool VideoCalibration::cheapBoardTest(const cv::Mat& frame, int w, int h) {
  cv::resize(frame, fastCheckImage_, kFastCheckSize, 0, 0, cv::INTER_LINEAR);
  cv::cvtColor(fastCheckImage_, fastCheckImage_, cv::COLOR_RGB2GRAY);
  // The boards are light on a dark surround; the search wants dark squares on light ground.
  cv::bitwise_not(fastCheckImage_, fastCheckImage_);
  std::vector<cv::Point2f> corners;
  return cv::findChessboardCorners(fastCheckImage_, cv::Size(w, h), corners, kBoardSearchFlags);
}

bool VideoCalibration::detectCorners(const cv::Mat& gray, std::vector<cv::Point2f>& corners,
                                     cv::Size boardSize) {
  // In place: the caller's frame stays inverted, and the refinement below works on it.
  cv::bitwise_not(gray, gray);
  const cv::Size reduced(static_cast<int>(gray.cols / kDetectionReduction),
                         static_cast<int>(gray.rows / kDetectionReduction));
  cv::resize(gray, detectionImage_, reduced, 0, 0, cv::INTER_LINEAR);
  const bool found =
      cv::findChessboardCorners(detectionImage_, boardSize, corners, kBoardSearchFlags);
  for (cv::Point2f& corner : corners) {
    corner.x = static_cast<float>(corner.x * kDetectionReduction);
    corner.y = static_cast<float>(corner.y * kDetectionReduction);
  }
  if (!found) return false;
  if (static_cast<int>(corners.size()) != boardSize.area()) return false;
  cv::cornerSubPix(gray, corners, cv::Size(15, 15), cv::Size(-1, -1),
                   cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 0.01));
  // Written as "not below" so that a contrast that is not a number passes.
  if (kMinCornerContrast > shapeResponse(gray, corners)) return false;
  return testCorners(corners, boardSize.width, boardSize.height);
}

double VideoCalibration::shapeResponse(const cv::Mat& img, std::vector<cv::Point2f>& corners) {
  constexpr int kHalf = 3;  // 7 x 7 window
  constexpr double kCount = (2 * kHalf + 1) * (2 * kHalf + 1);
  double lowest = 10000.0;
  for (const cv::Point2f& corner : corners) {
    const int xi = static_cast<int>(corner.x);
    const int yi = static_cast<int>(corner.y);
    if (xi < kHalf || xi >= img.cols - kHalf || yi < kHalf || yi >= img.rows - kHalf) continue;
    double sum = 0.0;
    for (int y = yi - kHalf; y <= yi + kHalf; ++y) {
      const uchar* row = img.ptr<uchar>(y);
      for (int x = xi - kHalf; x <= xi + kHalf; ++x) sum += row[x];
    }
    const double mean = sum / kCount;
    double deviation = 0.0;
    for (int y = yi - kHalf; y <= yi + kHalf; ++y) {
      const uchar* row = img.ptr<uchar>(y);
      for (int x = xi - kHalf; x <= xi + kHalf; ++x) deviation += std::abs(row[x] - mean);
    }
    // An all-black window gives 0 / 0; it takes the place of the minimum like any other.
    const double ratio = (deviation / kCount) / mean;
    if (!(ratio > lowest)) lowest = ratio;
  }
  return lowest;
}

bool VideoCalibration::testCorners(std::vector<cv::Point2f>& corners, int w, int h) {
  if (w < 0 || h < 0 || static_cast<long>(corners.size()) != static_cast<long>(w) * h) {
    return false;
  }
  // cos of the angle between p0->p1 and p1->p2. A zero-length segment gives 0 / 0, which
  // is not below the bound, so it does not fail the grid.
  const auto aligned = [](const cv::Point2f& p0, const cv::Point2f& p1, const cv::Point2f& p2) {
    const cv::Point2f a = p1 - p0;
    const cv::Point2f b = p2 - p1;
    const double dot = static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y;
    const double norms = (static_cast<double>(a.x) * a.x + static_cast<double>(a.y) * a.y) *
                         (static_cast<double>(b.x) * b.x + static_cast<double>(b.y) * b.y);
    return !(std::abs(dot / std::sqrt(norms)) < kMinSegmentAlignment);
  };
  for (int r = 0; r < h; ++r) {
    for (int k = 0; k + 2 < w; ++k) {
      if (!aligned(corners[r * w + k], corners[r * w + k + 1], corners[r * w + k + 2])) {
        return false;
      }
    }
  }
  for (int r = 0; r + 2 < h; ++r) {
    for (int k = 0; k < w; ++k) {
      if (!aligned(corners[r * w + k], corners[(r + 1) * w + k], corners[(r + 2) * w + k])) {
        return false;
      }
    }
  }
  return true;
}

bool VideoCalibration::examineSample(const cv::Mat& frame, cv::Size boardSize, bool& boardSeen,
                                     std::vector<cv::Point2f>& corners) {
  corners.clear();
  boardSeen = cheapBoardTest(frame, boardSize.width, boardSize.height);
  if (!boardSeen) return false;
  cv::cvtColor(frame, grayFrame_, cv::COLOR_RGB2GRAY);
  return detectCorners(grayFrame_, corners, boardSize);
}
