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
#include "tools/rig_variant.h"
#include "tools/ring_geometry.h"
#include "tools/still_effects.h"
#include "tools/still_renderer.h"
#include "tools/surround_scene.h"
#include "rig/prepared_view.h"
#include "tools/truth_file.h"

namespace ringcalib::synth {
namespace {

constexpr int kPairGridStep = 20;  // pixels of the warped strip between truth samples

void makeDirectory(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) throw std::runtime_error("cannot create " + path + ": " + error.message());
}

// The still model: K scaled to the still as the tool scales it, the same D.
FisheyeLens stillLens(const CameraTruth& camera, cv::Size still) {
  return FisheyeLens(camera.scaledToStill(camera.stillScale(still)));
}

}  // namespace

RigTruth generateRig(const std::string& outDir, const RigOptions& options) {
  if (options.videoWidth < 16 || options.videoHeight < 16 || options.framesPerVideo < 1)
    throw std::runtime_error("frame size and frame count must be positive (at least 16 x 16 pixels, 1 frame)");
  const cv::Size stillSize = options.stillSize.empty()
                                 ? cv::Size(static_cast<int>(options.videoWidth * rig::kStillScale),
                                            static_cast<int>(options.videoHeight * rig::kStillScale))
                                 : options.stillSize;
  if (stillSize.width < 16 || stillSize.height < 16)
    throw std::runtime_error("the stills must be at least 16 x 16 pixels");
  if (options.board.squares.width < 4 || options.board.squares.height < 4)
    throw std::runtime_error("the board must have at least 3 x 3 inner corners");
  if (!(options.absentFraction >= 0.0 && options.absentFraction <= 1.0))
    throw std::runtime_error("the absent fraction must lie between 0 and 1");
  if (const std::string problem = variantProblem(options); !problem.empty()) throw std::runtime_error(problem);
  makeDirectory(outDir);
  if (options.videos) makeDirectory(outDir + "/video");
  if (options.images) makeDirectory(outDir + "/image");
  RigTruth truth{};
  const double focalScale = drawnFocalScale(options);
  for (size_t n = 0; n < truth.cameras.size(); ++n)
    truth.cameras[n] = drawCamera(options.seed, static_cast<int>(n), options.videoWidth, options.videoHeight, focalScale);
  const std::array<RingCamera, rig::kCameras> ring = drawRing(options.seed, options.ring);
  // The stills show the rig as shot: with a turned camera, not the calibrated rig.
  const std::array<RingCamera, rig::kCameras> shotRing = options.turn ? turnedRing(ring, *options.turn) : ring;
  std::array<StillEffects, rig::kCameras> effects;
  for (size_t n = 0; n < effects.size(); ++n) effects[n] = drawStillEffects(options.shoot, options.seed, static_cast<int>(n));

  // Every piece writes its own file or its own entries of the truth and draws its own random
  // streams, so rendering them at once gives the same bytes as one after the other. The
  // stills and the pair truth share the scene; the videos, the longest pieces, start first.
  // Texture detail follows the still resolution: 4 mm texels at the default size. The pair
  // truth needs the geometry only.
  std::optional<SurroundScene> scene;
  GeometricPairs geometric;
  std::optional<TurnedPairs> turned;
  if (options.turn) turned.emplace();
  TaskGraph tasks;
  std::vector<int> pieces;
  if (options.videos) {
    for (size_t n = 0; n < truth.cameras.size(); ++n) {
      pieces.push_back(tasks.add([&, n] {
        writeBoardVideo(outDir + "/video/origin_" + std::to_string(n) + ".mp4", truth.cameras[n], options.seed,
                        static_cast<int>(n), options.framesPerVideo, cv::Size(options.videoWidth, options.videoHeight),
                        options.absentFraction, options.board);
      }));
    }
  }
  const int sceneBuilt = tasks.add(
      [&] { scene.emplace(options.seed, std::max(1.0, 3200.0 / options.videoWidth), options.images, options.scene); });
  pieces.push_back(sceneBuilt);
  if (options.images) {
    for (size_t n = 0; n < ring.size(); ++n) {
      pieces.push_back(tasks.add(
          [&, n, stillSize] {
            const std::string path = outDir + "/image/origin_" + std::to_string(n) + ".jpg";
            const FisheyeLens lens = stillLens(truth.cameras[n], stillSize);
            const cv::Mat still = applyStillEffects(renderStill(lens, shotRing[n], *scene, stillSize), lens, effects[n]);
            if (!cv::imwrite(path, still, {cv::IMWRITE_JPEG_QUALITY, options.shoot.jpegQuality}))
              throw std::runtime_error("cannot write image " + path);
          },
          {sceneBuilt}));
    }
  }
  const auto addPairTruth = [&](const std::array<RingCamera, rig::kCameras>& cameras, std::array<PairTruth, rig::kCameras>& pairs,
                                GeometricPairs& geometricPairs) {
    for (size_t n = 0; n < cameras.size(); ++n) {
      pieces.push_back(tasks.add(
          [&, n] {
            const RingCamera& first = cameras[n];
            const RingCamera& second = cameras[(n + 1) % cameras.size()];
            geometricPairs[n] = geometricPairPose(first, second);
            pairs[n] = fitToolConventionPose(pairStripCorrespondences(first, second, *scene, kPairGridStep),
                                             geometricPairs[n]);
          },
          {sceneBuilt}));
    }
  };
  addPairTruth(ring, truth.pairs, geometric);
  if (turned) addPairTruth(shotRing, turned->pairs, turned->geometric);
  tasks.start(cv::getNumThreads());
  for (const int piece : pieces) tasks.wait(piece);  // the first failure in this order is thrown
  writeTruthFile(outDir + "/truth.json", truth, geometric, options,
                 variantTruthMembers(options, ringRadius(options.seed, options.ring), effects, turned));
  return truth;
}

RigTruth readTruth(const std::string& truthJsonPath) { return readTruthFile(truthJsonPath); }

}  // namespace ringcalib::synth
