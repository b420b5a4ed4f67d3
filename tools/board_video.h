#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

#include "tools/board_renderer.h"
#include "tools/rendered_lens.h"

namespace ringcalib::synth {

// The codec of the checkerboard videos: MPEG-4 part 2, which the FFmpeg back end of
// cv::VideoWriter writes and cv::VideoCapture reads back with the exact frame count.
constexpr const char* kVideoFourcc = "mp4v";
constexpr double kVideoFps = 30.0;

// Renders camera `cameraIndex`'s checkerboard sweep (boardPoseAt) through its lens into
// `path`, then opens the file again and checks frame count and size. In the frames where the
// board is away (boardAbsentAt with `absentFraction`) only the empty field is rendered; beyond
// a field stop the frames are black. The board is `look`. Throws std::runtime_error naming the
// file on any failure.
void writeBoardVideo(const std::string& path, const RenderedLens& lens, std::uint64_t seed,
                     int cameraIndex, int frameCount, cv::Size frameSize, double absentFraction,
                     const BoardLook& look = BoardLook());

}  // namespace ringcalib::synth
