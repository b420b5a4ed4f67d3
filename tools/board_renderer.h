#pragma once

#include <cstdint>
#include <optional>

#include <opencv2/core.hpp>

#include "tools/board_motion.h"
#include "tools/rig_truth.h"
#include "tools/noise_tile.h"
#include "tools/pixel_rays.h"

namespace ringcalib::synth {

// Grey levels of one checkerboard frame: white squares on a uniform dark field, the board's
// dark squares being of the field's own grey, as a lit pattern in a dim room looks. Inverted,
// this is the usual printed board (dark squares on light paper). The corner search binarises
// at a threshold taken from the peaks of the histogram; with the dark squares and the field
// in one peak and the white squares in another, that threshold falls cleanly between them.
// Noise is added to every pixel.
struct BoardShading {
  double white = 190.0;
  double dark = 30.0;
  double noiseSigma = 1.5;
  // The usual printed board instead: dark squares (the corner squares among them) on white
  // paper that reaches this many squares beyond the pattern, on the same dark field.
  bool printed = false;
  double paperMargin = 0.8;
};

// The board a rig's videos show: its squares (inner corners + 1 each way) and whether it is
// the printed kind (BoardShading::printed).
struct BoardLook {
  cv::Size squares{kBoardSquaresX, kBoardSquaresY};
  bool printed = false;
};

// Renders one grey frame of `size` pixels: the board at `pose` seen through `lens` (whose
// rays for that size are `rays`), on the dark field; without a pose, the field alone. Each
// pixel inside the board's footprint is the box-filtered pattern over the pixel's footprint
// on the board plane (analytic coverage, so edges are anti-aliased and corners stay exact);
// the rest is the field. Noise comes from `noise` at `frameKey`, so the result does not
// depend on how the rows are split between threads.
cv::Mat renderBoardFrame(const FisheyeLens& lens, const PixelRays& rays, const std::optional<BoardPose>& pose,
                         cv::Size size, const BoardShading& shading, const NoiseTile& noise, std::uint64_t frameKey);

}  // namespace ringcalib::synth
