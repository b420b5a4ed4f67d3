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
#include "tools/rendered_lens.h"
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

// The lens that renders `camera`: the circular fisheye's with its field stop.
RenderedLens renderedLens(const CameraTruth& camera, const RigOptions& options) {
  const FisheyeLens model(camera);
  return options.circularFieldDegrees ? RenderedLens(model, *options.circularFieldDegrees) : RenderedLens(model);
}

// The still model: K scaled to the still as the tool scales it, the same D.
RenderedLens stillLens(const CameraTruth& camera, cv::Size still, const RigOptions& options) {
  return renderedLens(camera.scaledToStill(camera.stillScale(still)), options);
}

CameraTruth drawnCamera(const RigOptions& options, int camera, double focalScale) {
  if (options.circularFieldDegrees)
    return drawCircularCamera(options.seed, camera, options.videoWidth, options.videoHeight, *options.circularFieldDegrees);
  return drawCamera(options.seed, camera, options.videoWidth, options.videoHeight, focalScale);
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
  const size_t cameras = static_cast<size_t>(options.layout.cameras);
  RigTruth truth;
  truth.cameras.resize(cameras);
  truth.pairs.resize(cameras);
  truth.posesInCameraFrames = !options.layout.isStandard();
  const double focalScale = drawnFocalScale(options);
  for (size_t n = 0; n < cameras; ++n) truth.cameras[n] = drawnCamera(options, static_cast<int>(n), focalScale);
  const std::vector<RingCamera> ring = drawRing(options.seed, options.ring, options.layout);
  // The stills show the rig as shot: with a turned camera, not the calibrated rig.
  const std::vector<RingCamera> shotRing = options.turn ? turnedRing(ring, *options.turn) : ring;
  std::vector<StillEffects> effects(cameras);
  for (size_t n = 0; n < cameras; ++n) effects[n] = drawStillEffects(options.shoot, options.seed, static_cast<int>(n));

  // Every piece writes its own file or its own entries of the truth and draws its own random
  // streams, so rendering them at once gives the same bytes as one after the other. The
  // stills and the pair truth share the scene; the videos, the longest pieces, start first.
  // Texture detail follows the still resolution: 4 mm texels at the default size. The pair
  // truth needs the geometry only.
  std::optional<SurroundScene> scene;
  GeometricPairs geometric(cameras);
  std::optional<TurnedPairs> turned;
  if (options.turn) turned.emplace(TurnedPairs{std::vector<PairTruth>(cameras), GeometricPairs(cameras)});
  TaskGraph tasks;
  std::vector<int> pieces;
  if (options.videos) {
    for (size_t n = 0; n < truth.cameras.size(); ++n) {
      pieces.push_back(tasks.add([&, n] {
        writeBoardVideo(outDir + "/video/origin_" + std::to_string(n) + ".mp4", renderedLens(truth.cameras[n], options), options.seed,
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
            const RenderedLens lens = stillLens(truth.cameras[n], stillSize, options);
            const cv::Mat still = applyStillEffects(renderStill(lens, shotRing[n], *scene, stillSize), lens, effects[n]);
            if (!cv::imwrite(path, still, {cv::IMWRITE_JPEG_QUALITY, options.shoot.jpegQuality}))
              throw std::runtime_error("cannot write image " + path);
          },
          {sceneBuilt}));
    }
  }
  // The standard layout's pairs are those the tool fits in the prepared views (rig/ring.h);
  // any other layout's are the sensor frames' own poses.
  const auto addPairTruth = [&](const std::vector<RingCamera>& ringCameras, std::vector<PairTruth>& pairs,
                                GeometricPairs& geometricPairs) {
    for (size_t n = 0; n < ringCameras.size(); ++n) {
      const size_t next = (n + 1) % ringCameras.size();
      if (truth.posesInCameraFrames) {
        geometricPairs[n] = pairs[n] = sensorPairPose(ringCameras[n], ringCameras[next]);
        continue;
      }
      pieces.push_back(tasks.add(
          [&, n, next] {
            const RingCamera& first = ringCameras[n];
            const RingCamera& second = ringCameras[next];
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
  nlohmann::json described = variantTruthMembers(options, ringRadius(options.seed, options.ring), effects, turned);
  described.update(layoutTruthMembers(options));
  writeTruthFile(outDir + "/truth.json", truth, geometric, options, described);
  return truth;
}

RigTruth readTruth(const std::string& truthJsonPath) { return readTruthFile(truthJsonPath); }

}  // namespace ringcalib::synth
