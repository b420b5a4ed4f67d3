#pragma once

#include <optional>
#include <vector>

#include <opencv2/core.hpp>

// Finding the checkerboard in the sampled frames of a camera's videos: a cheap test on a
// small copy, the search at a reduced size, the refinement at full size, and the checks that
// its corners are sharp (shapeResponse) and run straight (testCorners).
namespace ringcalib::intrinsic {

// How a board is printed: light squares on a dark surround, or dark squares on white paper.
enum class BoardPolarity { kLightSquares, kDarkSquares };

// What the detection made of one sampled frame.
enum class SampleOutcome {
  kNotSeen,   // the cheap test saw no board
  kNotFound,  // the search at the reduced size did not find the whole board
  kRejected,  // found and refined, but its corners failed the contrast or straightness test
  kAccepted,  // a view
};

// One worker's detection: it keeps its working images from frame to frame, and searches
// first the way that found its last board.
class BoardDetector {
 public:
  // Cheap test of a colour frame for a w x h inner-corner board, with the process-wide
  // back-off (back_off.h): after a failed test the next three calls return false without
  // looking at their frame.
  bool fastCheck(const cv::Mat& frame, int w, int h);

  // The cheap test alone: a w x h board found in a grey copy reduced as for the board search
  // (1000 x 750 from 3200 x 2400; frame_scale.h), inverted for a board of light squares, as
  // it is for a printed one. `polarity` tells which one was found.
  bool cheapBoardTest(const cv::Mat& frame, int w, int h, BoardPolarity& polarity);

  // One sampled colour frame whose cheap test is due: the cheap test, then the full detection
  // on the frame's grey copy. `corners` holds the board's corners when it was found, accepted
  // or rejected: a lens seen to its rim may need the boards the tests reject there.
  SampleOutcome examineSample(const cv::Mat& frame, cv::Size boardSize,
                              std::vector<cv::Point2f>& corners);

  // A second look at a sampled colour frame: examineSample, and where that finds no whole
  // board in a frame the search reduces, the search at the frame's full size for a board of
  // `polarity`. A board whose squares span a dozen pixels loses them in the reduced copy
  // (a small lens's boards at 1280 x 800 and up) and is found at full size. Where the
  // polarity is not known yet (no board seen in the first look), both are searched, the way
  // of the last board first, and `polarity` becomes the one that found a board.
  SampleOutcome lookAgain(const cv::Mat& frame, cv::Size boardSize, std::optional<BoardPolarity>& polarity,
                          std::vector<cv::Point2f>& corners);

  // The polarity of the last board the cheap test saw.
  BoardPolarity lastPolarity() const { return lastPolarity_; }

  // Full detection on a single-channel frame, which is inverted in place for a board of
  // light squares. The board is searched reduced (by 3.2 from 3200 x 2400) and refined at
  // full size (a 15 x 15 half window there). True when the frame is accepted; `corners`
  // then holds boardSize.area() corners in full-size pixels.
  bool detectCorners(const cv::Mat& gray, std::vector<cv::Point2f>& corners, cv::Size boardSize,
                     BoardPolarity polarity = BoardPolarity::kLightSquares);

 private:
  // detectCorners' search at the reduced size (or at full size when `atFullSize`) and
  // refinement at full size: true when the whole board was found.
  bool searchCorners(const cv::Mat& gray, std::vector<cv::Point2f>& corners, cv::Size boardSize,
                     BoardPolarity polarity, bool atFullSize = false);
  // The corners' tests on the searched grey frame, as an outcome.
  SampleOutcome testedOutcome(const std::vector<cv::Point2f>& corners, cv::Size boardSize) const;

  cv::Mat fastCheckImage_;
  cv::Mat grayFrame_;
  cv::Mat detectionImage_;
  cv::Mat inverted_;  // the cheap test's copy, inverted
  BoardPolarity lastPolarity_ = BoardPolarity::kLightSquares;  // of the last board found
};

// The board's inner corners (x, y, 0), row by row: one square edge is the unit.
std::vector<cv::Point3f> boardModel(cv::Size board);

// Smallest local contrast (mean absolute deviation / mean over a window of 7 x 7 at
// 3200 x 2400, following the image's size) over the corners at least the window's half side
// inside the image; 10000 when no corner qualifies.
double shapeResponse(const cv::Mat& img, const std::vector<cv::Point2f>& corners);

// Whether a w x h corner list runs straight: every two successive segments along a row or a
// column are parallel within acos(0.99), about 8.1 degrees.
bool testCorners(const std::vector<cv::Point2f>& corners, int w, int h);

}  // namespace ringcalib::intrinsic
