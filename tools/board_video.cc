#include "tools/board_video.h"

#include <cmath>
#include <optional>
#include <stdexcept>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "tools/board_motion.h"
#include "tools/board_renderer.h"
#include "tools/rig_truth.h"
#include "tools/noise_tile.h"
#include "tools/pixel_rays.h"
#include "tools/random_stream.h"

namespace ringcalib::synth {

void writeBoardVideo(const std::string& path, const RenderedLens& lens, std::uint64_t seed,
                     int cameraIndex, int frameCount, cv::Size frameSize, double absentFraction,
                     const BoardLook& look) {
  const int fourcc = cv::VideoWriter::fourcc(kVideoFourcc[0], kVideoFourcc[1], kVideoFourcc[2], kVideoFourcc[3]);
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, fourcc, kVideoFps, frameSize, true);
  if (!writer.isOpened()) throw std::runtime_error("cannot write video " + path);

  const PixelRays rays(lens, frameSize);
  const double reach =
      lens.hasFieldStop() ? circularSweepReachDegrees(lens.fieldDegrees()) : kStandardSweepReachDegrees;
  cv::Mat1b beyondFieldStop;
  if (lens.hasFieldStop()) {
    beyondFieldStop.create(frameSize);
    cv::Vec3d ray;
    for (int y = 0; y < frameSize.height; ++y)
      for (int x = 0; x < frameSize.width; ++x) beyondFieldStop(y, x) = rays.at(x, y, ray) ? 0 : 255;
  }
  const NoiseTile noise(seed * 8 + static_cast<std::uint64_t>(cameraIndex));
  cv::Mat colour;
  for (int f = 0; f < frameCount; ++f) {
    // A slow change of exposure, so that the frames are not all equally bright.
    BoardShading shading;
    const double gain = 1.0 + 0.08 * std::sin(0.05 * f + cameraIndex);
    shading.white *= gain;
    shading.dark *= gain;
    shading.printed = look.printed;
    std::optional<BoardPose> pose;
    if (!boardAbsentAt(f, frameCount, absentFraction)) {
      pose = boardPoseAt(seed, cameraIndex, f, frameCount, reach);
      pose->squares = look.squares;
    }
    cv::Mat grey = renderBoardFrame(lens.model(), rays, pose, frameSize, shading, noise, mixBits(static_cast<std::uint64_t>(f)));
    if (!beyondFieldStop.empty()) grey.setTo(0, beyondFieldStop);
    cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
    writer.write(colour);
  }
  writer.release();

  cv::VideoCapture check(path, cv::CAP_FFMPEG);
  const int readCount = static_cast<int>(check.get(cv::CAP_PROP_FRAME_COUNT));
  const cv::Size readSize(static_cast<int>(check.get(cv::CAP_PROP_FRAME_WIDTH)),
                          static_cast<int>(check.get(cv::CAP_PROP_FRAME_HEIGHT)));
  if (!check.isOpened() || readCount != frameCount || readSize != frameSize)
    throw std::runtime_error("video " + path + " reads back as " + std::to_string(readCount) + " frames of " +
                             std::to_string(readSize.width) + "x" + std::to_string(readSize.height));
}

}  // namespace ringcalib::synth
