#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

#include "tools/board_renderer.h"
#include "tools/rig_truth.h"

namespace ringcalib::synth {

// The codec of the checkerboard videos: MPEG-4 part 2, which the FFmpeg back end of
// cv::VideoWriter writes and cv::VideoCapture reads back with the exact frame count.
constexpr const char* kVideoFourcc = "mp4v";
constexpr double kVideoFps = 30.0;

// Renders camera `camera`'s checkerboard sweep (boardPoseAt) through its model into `path`,
// then opens the file again and checks frame count and size. In the frames where the board is
// away (boardAbsentAt with `absentFraction`) only the empty field is rendered. The board is
// `look`. Throws std::runtime_error naming the file on any failure.
void writeBoardVideo(const std::string& path, const CameraTruth& camera, std::uint64_t seed,
                     int cameraIndex, int frameCount, cv::Size frameSize, double absentFraction,
                     const BoardLook& look = BoardLook());

}  // namespace ringcalib::synth
