#include "calibration/intrinsic/frame_scale.h"

#include <algorithm>
#include <cmath>

namespace ringcalib::intrinsic {
namespace {

// The board search's size, and the windows' half sides, at 3200 x 2400.
constexpr double kSearchWidth = 1000.0;
constexpr double kSearchHeight = 750.0;
constexpr double kReferenceReduction = 3.2;
constexpr double kReferenceSubPixelHalf = 15.0;
constexpr double kReferenceContrastHalf = 3.0;
// Below two pixels the contrast window no longer holds the four squares around a corner.
constexpr int kMinContrastHalf = 2;

}  // namespace

FrameScale::FrameScale(cv::Size frame)
    : reduction(std::max({1.0, frame.width / kSearchWidth, frame.height / kSearchHeight})),
      searchSize(static_cast<int>(frame.width / reduction),
                 static_cast<int>(frame.height / reduction)),
      subPixelHalf(static_cast<int>(
          std::lround(kReferenceSubPixelHalf * reduction / kReferenceReduction))),
      contrastHalf(std::max(kMinContrastHalf,
                            static_cast<int>(std::lround(kReferenceContrastHalf * reduction /
                                                         kReferenceReduction)))) {}

}  // namespace ringcalib::intrinsic
