// A rig of another camera format: 1600 x 1200 videos, 2000 x 1500 stills. `all` calibrates it
// as the standard rig (pairs against the generator's truth), records the frame size, and the
// same rig's stills at the video frames' own size calibrate with the scale 1.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "rig/pair_pose.h"
#include "rig/parameter_document.h"
#include "tests/support/rig_cache.h"
#include "tests/support/test_support.h"
#include "tools/truth_compare.h"

namespace ringcalib::test {
namespace {

synth::RigOptions smallRig() {
  synth::RigOptions options;
  options.seed = 3;
  options.framesPerVideo = 160;  // 40 samples: at 96 one camera keeps 16 views
  options.videoWidth = 1600;
  options.videoHeight = 1200;
  options.stillSize = cv::Size(2000, 1500);
  return options;
}

void expectPairsNearTruth(const rig::ParameterDocument& document, const synth::RigTruth& truth,
                          const std::string& what) {
  for (int pair = 0; pair < rig::kCameras; ++pair) {
    rig::PairPose pose;
    ASSERT_TRUE(document.findPose(pair, pose)) << what << " pair " << pair;
    EXPECT_LT(rig::rotationErrorDeg(pose.R, truth.pairs[pair].R), 0.05) << what << " pair " << pair;
    EXPECT_LT(rig::directionErrorDeg(pose.t, truth.pairs[pair].t), 1.0) << what << " pair " << pair;
  }
}

TEST(FrameSizeRig, AllCalibratesAndStillsOfTheFramesOwnSizeTakeScaleOne) {
  synth::RigTruth truth;
  const std::string folder = cachedRig(smallRig(), "seed3-1600x1200-2000x1500-160f-vi", truth);
  synth::RigOptions sameSize = smallRig();
  sameSize.stillSize = cv::Size(1600, 1200);
  sameSize.videos = false;
  synth::RigTruth sameTruth;
  const std::string sameSizeFolder = cachedRig(sameSize, "seed3-1600x1200-1600x1200-i", sameTruth);

  TempDir dir;
  const std::string file = dir.file("params.json");
  const RunResult all = runTool({"-w", "all", "-f", file, "-v", folder + "/video", "-i", folder + "/image"});
  ASSERT_EQ(all.status, 0) << all.out;
  rig::ParameterDocument document;
  document.content() = nlohmann::json::parse(readFileBytes(file));
  for (int n = 0; n < rig::kCameras; ++n) {
    EXPECT_EQ(document.frameSize(n), cv::Size(1600, 1200)) << n;
    rig::FisheyeCamera camera;
    ASSERT_TRUE(document.findCamera(n, camera));
    EXPECT_LT(synth::projectionRmsError(truth.cameras[n], camera.K, camera.D), 0.15) << n;
  }
  expectPairsNearTruth(document, truth, "all");

  const RunResult again =
      runTool({"-w", "extrinsic", "-f", file, "-i", sameSizeFolder + "/image"});
  ASSERT_EQ(again.status, 0) << again.out;
  document.content() = nlohmann::json::parse(readFileBytes(file));
  expectPairsNearTruth(document, truth, "stills of 1600 x 1200");
}

}  // namespace
}  // namespace ringcalib::test
