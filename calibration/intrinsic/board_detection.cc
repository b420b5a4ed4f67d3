// Screening of sampled frames and validation of the detected checkerboard corners.

#include <cmath>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include "calibration/intrinsic/board_detection.h"

#include "calibration/intrinsic/back_off.h"
#include "calibration/intrinsic/frame_scale.h"

namespace ringcalib::intrinsic {

namespace {

// cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE | cv::CALIB_CB_FAST_CHECK.
constexpr int kBoardSearchFlags = 11;

// A corner whose 7 x 7 window has a lower contrast than this is blurred or on flat ground.
constexpr double kMinCornerContrast = 0.1;

// |cos| of the angle between successive grid segments: 0.99 allows about 8.1 degrees.
constexpr double kMinSegmentAlignment = 0.99;

BoardPolarity otherPolarity(BoardPolarity polarity) {
  return polarity == BoardPolarity::kLightSquares ? BoardPolarity::kDarkSquares
                                                  : BoardPolarity::kLightSquares;
}

// Whether the corners of a found board are sharp and run straight.
bool passesCornerTests(const cv::Mat& gray, const std::vector<cv::Point2f>& corners, cv::Size boardSize) {
  // Written as "not below" so that a contrast that is not a number passes.
  if (kMinCornerContrast > shapeResponse(gray, corners)) return false;
  return testCorners(corners, boardSize.width, boardSize.height);
}

}  // namespace

bool BoardDetector::fastCheck(const cv::Mat& frame, int w, int h) {
  int& badCnt = back_off::processCounter();
  if (!back_off::testsNext(badCnt)) {
    ++badCnt;
    return false;
  }
  BoardPolarity polarity = BoardPolarity::kLightSquares;
  const bool found = cheapBoardTest(frame, w, h, polarity);
  badCnt = back_off::after(badCnt, found);
  return found;
}

bool BoardDetector::cheapBoardTest(const cv::Mat& frame, int w, int h, BoardPolarity& polarity) {
  const FrameScale scale(frame.size());
  cv::resize(frame, fastCheckImage_, scale.searchSize, 0, 0, cv::INTER_LINEAR);
  cv::cvtColor(fastCheckImage_, fastCheckImage_, cv::COLOR_RGB2GRAY);
  // The search wants dark squares on light ground. A board of light squares on a dark
  // surround is found inverted; a printed one (dark squares on white paper) as it is. Each
  // is found one way only: the other way its border squares merge with the surround. So the
  // order of the two searches changes only the time: a search the wrong way passes the
  // library's fast check and then fails slowly (0.1 to 5 s at the search size of about
  // 1000 x 750, where the right way takes 3 ms), so the way that found the last board goes
  // first.
  std::vector<cv::Point2f> corners;
  for (const BoardPolarity way : {lastPolarity_, otherPolarity(lastPolarity_)}) {
    if (way == BoardPolarity::kLightSquares) cv::bitwise_not(fastCheckImage_, inverted_);
    const cv::Mat& searched = way == BoardPolarity::kLightSquares ? inverted_ : fastCheckImage_;
    if (cv::findChessboardCorners(searched, cv::Size(w, h), corners, kBoardSearchFlags)) {
      polarity = lastPolarity_ = way;
      return true;
    }
  }
  return false;
}

bool BoardDetector::detectCorners(const cv::Mat& gray, std::vector<cv::Point2f>& corners,
                                  cv::Size boardSize, BoardPolarity polarity) {
  return searchCorners(gray, corners, boardSize, polarity) && passesCornerTests(gray, corners, boardSize);
}

bool BoardDetector::searchCorners(const cv::Mat& gray, std::vector<cv::Point2f>& corners,
                                  cv::Size boardSize, BoardPolarity polarity, bool atFullSize) {
  // In place: the caller's frame of a light-squares board stays inverted, and the refinement
  // and the contrast check after it work on the image as searched.
  if (polarity == BoardPolarity::kLightSquares) cv::bitwise_not(gray, gray);
  const FrameScale scale(gray.size());
  bool found = false;
  if (atFullSize) {
    found = cv::findChessboardCorners(gray, boardSize, corners, kBoardSearchFlags);
  } else {
    cv::resize(gray, detectionImage_, scale.searchSize, 0, 0, cv::INTER_LINEAR);
    found = cv::findChessboardCorners(detectionImage_, boardSize, corners, kBoardSearchFlags);
    for (cv::Point2f& corner : corners) {
      corner.x = static_cast<float>(corner.x * scale.reduction);
      corner.y = static_cast<float>(corner.y * scale.reduction);
    }
  }
  if (!found) return false;
  if (static_cast<int>(corners.size()) != boardSize.area()) return false;
  const cv::Size window(scale.subPixelHalf, scale.subPixelHalf);
  cv::cornerSubPix(gray, corners, window, cv::Size(-1, -1),
                   cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 0.01));
  return true;
}

std::vector<cv::Point3f> boardModel(cv::Size board) {
  std::vector<cv::Point3f> model;
  for (int y = 0; y < board.height; ++y) {
    for (int x = 0; x < board.width; ++x) {
      model.emplace_back(static_cast<float>(x), static_cast<float>(y), 0.0f);
    }
  }
  return model;
}

double shapeResponse(const cv::Mat& img, const std::vector<cv::Point2f>& corners) {
  const int half = FrameScale(img.size()).contrastHalf;  // 7 x 7 at 3200
  const double count = (2 * half + 1) * (2 * half + 1);
  double lowest = 10000.0;
  for (const cv::Point2f& corner : corners) {
    const int xi = static_cast<int>(corner.x);
    const int yi = static_cast<int>(corner.y);
    if (xi < half || xi >= img.cols - half || yi < half || yi >= img.rows - half) continue;
    double sum = 0.0;
    for (int y = yi - half; y <= yi + half; ++y) {
      const uchar* row = img.ptr<uchar>(y);
      for (int x = xi - half; x <= xi + half; ++x) sum += row[x];
    }
    const double mean = sum / count;
    double deviation = 0.0;
    for (int y = yi - half; y <= yi + half; ++y) {
      const uchar* row = img.ptr<uchar>(y);
      for (int x = xi - half; x <= xi + half; ++x) deviation += std::abs(row[x] - mean);
    }
    // An all-black window gives 0 / 0; it takes the place of the minimum like any other.
    const double ratio = (deviation / count) / mean;
    if (!(ratio > lowest)) lowest = ratio;
  }
  return lowest;
}

bool testCorners(const std::vector<cv::Point2f>& corners, int w, int h) {
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

SampleOutcome BoardDetector::examineSample(const cv::Mat& frame, cv::Size boardSize,
                                           std::vector<cv::Point2f>& corners) {
  corners.clear();
  BoardPolarity polarity = BoardPolarity::kLightSquares;
  if (!cheapBoardTest(frame, boardSize.width, boardSize.height, polarity)) return SampleOutcome::kNotSeen;
  cv::cvtColor(frame, grayFrame_, cv::COLOR_RGB2GRAY);
  if (!searchCorners(grayFrame_, corners, boardSize, polarity)) {
    corners.clear();
    return SampleOutcome::kNotFound;
  }
  return testedOutcome(corners, boardSize);
}

SampleOutcome BoardDetector::lookAgain(const cv::Mat& frame, cv::Size boardSize,
                                       std::optional<BoardPolarity>& polarity,
                                       std::vector<cv::Point2f>& corners) {
  const SampleOutcome outcome = examineSample(frame, boardSize, corners);
  if (outcome != SampleOutcome::kNotSeen && outcome != SampleOutcome::kNotFound) {
    if (!polarity) polarity = lastPolarity_;
    return outcome;
  }
  if (FrameScale(frame.size()).searchSize == frame.size()) return outcome;
  std::vector<BoardPolarity> ways{lastPolarity_, otherPolarity(lastPolarity_)};
  if (polarity) ways = {*polarity};
  for (const BoardPolarity way : ways) {
    cv::cvtColor(frame, grayFrame_, cv::COLOR_RGB2GRAY);  // the search inverts it in place
    if (searchCorners(grayFrame_, corners, boardSize, way, true)) {
      polarity = lastPolarity_ = way;
      return testedOutcome(corners, boardSize);
    }
  }
  corners.clear();
  return outcome;
}

SampleOutcome BoardDetector::testedOutcome(const std::vector<cv::Point2f>& corners, cv::Size boardSize) const {
  return passesCornerTests(grayFrame_, corners, boardSize) ? SampleOutcome::kAccepted : SampleOutcome::kRejected;
}

}  // namespace ringcalib::intrinsic
