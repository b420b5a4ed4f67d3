#include "tools/synthetic_rig.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "core/task_graph.h"
#include "tools/board_video.h"
#include "tools/camera_draw.h"
#include "tools/pair_truth.h"
#include "tools/ring_geometry.h"
#include "tools/still_renderer.h"
#include "tools/surround_scene.h"
#include "rig/prepared_view.h"
#include "tools/truth_file.h"

namespace ringcalib::synth {
namespace {

constexpr int kPairGridStep = 20;  // pixels of the warped strip between truth samples
constexpr int kJpegQuality = 95;

void makeDirectory(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) throw std::runtime_error("cannot create " + path + ": " + error.message());
}

// The still model: K scaled to the still as the tool scales it, the same D.
FisheyeLens stillLens(const CameraTruth& camera) { return FisheyeLens(camera.scaledToStill()); }

}  // namespace

RigTruth generateRig(const std::string& outDir, const RigOptions& options) {
  if (options.videoWidth < 16 || options.videoHeight < 16 || options.framesPerVideo < 1)
    throw std::runtime_error("frame size and frame count must be positive (at least 16 x 16 pixels, 1 frame)");
  if (!(options.absentFraction >= 0.0 && options.absentFraction <= 1.0))
    throw std::runtime_error("the absent fraction must lie between 0 and 1");
  makeDirectory(outDir);
  if (options.videos) makeDirectory(outDir + "/video");
  if (options.images) makeDirectory(outDir + "/image");
  RigTruth truth{};
  for (size_t n = 0; n < truth.cameras.size(); ++n)
    truth.cameras[n] = drawCamera(options.seed, static_cast<int>(n), options.videoWidth, options.videoHeight);
  const std::array<RingCamera, rig::kCameras> ring = drawRing(options.seed);

  // Every piece writes its own file or its own entries of the truth and draws its own random
  // streams, so rendering them at once gives the same bytes as one after the other. The
  // stills and the pair truth share the scene; the videos, the longest pieces, start first.
  // Texture detail follows the still resolution: 4 mm texels at the default size. The pair
  // truth needs the geometry only.
  std::optional<SurroundScene> scene;
  GeometricPairs geometric;
  TaskGraph tasks;
  std::vector<int> pieces;
  if (options.videos) {
    for (size_t n = 0; n < truth.cameras.size(); ++n) {
      pieces.push_back(tasks.add([&, n] {
        writeBoardVideo(outDir + "/video/origin_" + std::to_string(n) + ".mp4", truth.cameras[n], options.seed,
                        static_cast<int>(n), options.framesPerVideo, cv::Size(options.videoWidth, options.videoHeight),
                        options.absentFraction);
      }));
    }
  }
  const int sceneBuilt = tasks.add(
      [&] { scene.emplace(options.seed, std::max(1.0, 3200.0 / options.videoWidth), options.images); });
  pieces.push_back(sceneBuilt);
  if (options.images) {
    const cv::Size stillSize(static_cast<int>(options.videoWidth * rig::kStillScale),
                             static_cast<int>(options.videoHeight * rig::kStillScale));
    for (size_t n = 0; n < ring.size(); ++n) {
      pieces.push_back(tasks.add(
          [&, n, stillSize] {
            const std::string path = outDir + "/image/origin_" + std::to_string(n) + ".jpg";
            const cv::Mat still = renderStill(stillLens(truth.cameras[n]), ring[n], *scene, stillSize);
            if (!cv::imwrite(path, still, {cv::IMWRITE_JPEG_QUALITY, kJpegQuality}))
              throw std::runtime_error("cannot write image " + path);
          },
          {sceneBuilt}));
    }
  }
  for (size_t n = 0; n < ring.size(); ++n) {
    pieces.push_back(tasks.add(
        [&, n] {
          const RingCamera& first = ring[n];
          const RingCamera& second = ring[(n + 1) % ring.size()];
          geometric[n] = geometricPairPose(first, second);
          truth.pairs[n] =
              fitToolConventionPose(pairStripCorrespondences(first, second, *scene, kPairGridStep), geometric[n]);
        },
        {sceneBuilt}));
  }
  tasks.start(cv::getNumThreads());
  for (const int piece : pieces) tasks.wait(piece);  // the first failure in this order is thrown
  writeTruthFile(outDir + "/truth.json", truth, geometric, options);
  return truth;
}

RigTruth readTruth(const std::string& truthJsonPath) { return readTruthFile(truthJsonPath); }

}  // namespace ringcalib::synth
