// A rig of another camera format: 1600 x 1200 videos, 2000 x 1500 stills. `all --ring-adjust`
// calibrates it as the standard rig (pairwise and adjusted pairs against the generator's
// geometric truth), records the frame size, and the same rig's stills at the video frames' own
// size calibrate with the scale 1.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "rig/pair_pose.h"
#include "rig/parameter_document.h"
#include "tests/support/rig_cache.h"
#include "tests/support/test_support.h"
#include "tools/truth_compare.h"
#include "tools/truth_file.h"

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

// Measured on this rig: pairwise 0.015 deg / 0.20 deg at worst, adjusted 0.004 deg / 0.032 deg;
// the bounds leave about twice that, the adjusted ones being the targets for rigs of this size.
constexpr double kPairwiseRotationDeg = 0.03;
constexpr double kPairwiseDirectionDeg = 0.4;
constexpr double kAdjustedRotationDeg = 0.008;
constexpr double kAdjustedDirectionDeg = 0.10;

// Pair `pair`'s pose against the geometric truth in the file's convention (the compare tool's
// "vs geometric" columns).
void expectNearTruth(const rig::PairPose& pose, const synth::GeometricPairs& geometric, int pair,
                     double rotationDeg, double directionDeg, const std::string& what) {
  const rig::PairPose truth = rig::toFileConvention(geometric[pair]);
  EXPECT_LT(rig::rotationErrorDeg(pose.R, truth.R), rotationDeg) << what << " pair " << pair;
  EXPECT_LT(rig::directionErrorDeg(pose.t, truth.t), directionDeg) << what << " pair " << pair;
}

void expectFilePairsNearTruth(const rig::ParameterDocument& document, const synth::GeometricPairs& geometric,
                              double rotationDeg, double directionDeg, const std::string& what) {
  for (int pair = 0; pair < rig::kCameras; ++pair) {
    rig::PairPose pose;
    ASSERT_TRUE(document.findPose(pair, pose)) << what << " pair " << pair;
    expectNearTruth(pose, geometric, pair, rotationDeg, directionDeg, what);
  }
}

rig::PairPose reportedPose(const nlohmann::json& entry) {
  rig::PairPose pose;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) pose.R(row, col) = entry.at("R").at(row).at(col).get<double>();
    pose.t[row] = entry.at("t").at(row).get<double>();
  }
  return pose;
}

TEST(FrameSizeRig, AllCalibratesAndStillsOfTheFramesOwnSizeTakeScaleOne) {
  synth::RigTruth truth;
  const std::string folder = cachedRig(smallRig(), "seed3-1600x1200-2000x1500-160f-vi", truth);
  const synth::GeometricPairs geometric = synth::readGeometricPairs(folder + "/truth.json");
  synth::RigOptions sameSize = smallRig();
  sameSize.stillSize = cv::Size(1600, 1200);
  sameSize.videos = false;
  synth::RigTruth sameTruth;
  const std::string sameSizeFolder = cachedRig(sameSize, "seed3-1600x1200-1600x1200-i", sameTruth);

  TempDir dir;
  const std::string file = dir.file("params.json");
  const std::string reportFolder = dir.file("report");
  const RunResult all = runTool({"-w", "all", "-f", file, "-v", folder + "/video", "-i", folder + "/image",
                                 "--ring-adjust", "-r", reportFolder});
  ASSERT_EQ(all.status, 0) << all.out;
  rig::ParameterDocument document;
  document.content() = nlohmann::json::parse(readFileBytes(file));
  for (int n = 0; n < rig::kCameras; ++n) {
    EXPECT_EQ(document.frameSize(n), cv::Size(1600, 1200)) << n;
    rig::FisheyeCamera camera;
    ASSERT_TRUE(document.findCamera(n, camera));
    EXPECT_LT(synth::projectionRmsError(truth.cameras[n], camera.K, camera.D), 0.15) << n;
  }
  const nlohmann::json report = nlohmann::json::parse(readFileBytes(reportFolder + "/report.json"));
  for (int pair = 0; pair < rig::kCameras; ++pair) {
    expectNearTruth(reportedPose(report.at("pairs").at(pair)), geometric, pair, kPairwiseRotationDeg,
                    kPairwiseDirectionDeg, "all, pairwise");
  }
  expectFilePairsNearTruth(document, geometric, kAdjustedRotationDeg, kAdjustedDirectionDeg, "all, adjusted");

  const RunResult again =
      runTool({"-w", "extrinsic", "-f", file, "-i", sameSizeFolder + "/image"});
  ASSERT_EQ(again.status, 0) << again.out;
  document.content() = nlohmann::json::parse(readFileBytes(file));
  expectFilePairsNearTruth(document, geometric, kPairwiseRotationDeg, kPairwiseDirectionDeg, "stills of 1600 x 1200");
}

}  // namespace
}  // namespace ringcalib::test
