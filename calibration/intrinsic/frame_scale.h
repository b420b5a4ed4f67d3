#pragma once

#include <opencv2/core.hpp>

namespace ringcalib::intrinsic {

// How the intrinsic job's image windows follow the size of the video frames. Their values
// were set for 3200 x 2400 frames, where they are 3.2, 15 and 3; other sizes scale them
// with the reduction, so that a board searched at about 1000 x 750 pixels is refined and
// checked over windows of the same share of its squares at any size.
struct FrameScale {
  explicit FrameScale(cv::Size frame);

  // The board is searched in the frame reduced by this factor: the larger of width / 1000
  // and height / 750, never below 1 (a small frame is searched as it is).
  double reduction = 1.0;
  // The reduced frame, in which both the cheap test and the board search run.
  cv::Size searchSize;
  // Half sides of the sub-pixel refinement's window and of the contrast check's window.
  int subPixelHalf = 0;
  int contrastHalf = 0;
};

}  // namespace ringcalib::intrinsic
