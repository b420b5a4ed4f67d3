#include "tools/synthetic_rig.h"

#include <filesystem>
#include <stdexcept>

#include "tools/board_video.h"
#include "tools/camera_draw.h"
#include "tools/truth_file.h"

namespace ringcalib::synth {
namespace {

void makeDirectory(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) throw std::runtime_error("cannot create " + path + ": " + error.message());
}

}  // namespace

RigTruth generateRig(const std::string& outDir, const RigOptions& options) {
  if (options.videoWidth < 16 || options.videoHeight < 16 || options.framesPerVideo < 1)
    throw std::runtime_error("frame size and frame count must be positive (at least 16 x 16 pixels, 1 frame)");
  makeDirectory(outDir);
  RigTruth truth{};
  for (size_t n = 0; n < truth.cameras.size(); ++n)
    truth.cameras[n] = drawCamera(options.seed, static_cast<int>(n), options.videoWidth, options.videoHeight);

  if (options.videos) {
    makeDirectory(outDir + "/video");
    for (size_t n = 0; n < truth.cameras.size(); ++n) {
      writeBoardVideo(outDir + "/video/origin_" + std::to_string(n) + ".mp4", truth.cameras[n], options.seed,
                      static_cast<int>(n), options.framesPerVideo, cv::Size(options.videoWidth, options.videoHeight));
    }
  }
  writeTruthFile(outDir + "/truth.json", truth, options);
  return truth;
}

RigTruth readTruth(const std::string& truthJsonPath) { return readTruthFile(truthJsonPath); }

}  // namespace ringcalib::synth
