// Rings of other sizes and mountings than the standard rig: generated rings calibrated from
// their stills on the true intrinsics, against the generator's truth in the cameras' own
// frames; the refusals of a ring that is not one; and the shared real ring of four.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>

#include "rig/pair_pose.h"
#include "rig/parameter_document.h"
#include "rig/ring_closure.h"
#include "rig/ring_frame.h"
#include "tests/support/rig_cache.h"
#include "tests/support/test_support.h"

namespace ringcalib::test {
namespace {

namespace fs = std::filesystem;

struct GeneratedRing {
  const char* name;
  synth::RigOptions options;
  double rotationDeg;   // worst pair's bound, plain
  double directionDeg;
};

synth::RigOptions stillsOnly(int cameras, cv::Size frames) {
  synth::RigOptions options;
  options.videos = false;
  options.layout.cameras = cameras;
  options.videoWidth = frames.width;
  options.videoHeight = frames.height;
  options.stillSize = frames;
  return options;
}

// A ring of four 190-degree circular fisheyes looking 30 degrees down (as a car's surround
// cameras do); eight cameras looking 10 degrees up, unevenly spaced; six upright sensors
// looking 20 degrees down. Bounds about twice the worst pair measured.
GeneratedRing ring(const std::string& which) {
  if (which == "four") {
    synth::RigOptions options = stillsOnly(4, {1280, 800});
    options.circularFieldDegrees = 190.0;
    options.layout.tiltDegrees = -30.0;
    return {"c4-circular190-1280x800-tilt-30-i", options, 0.08, 0.4};
  }
  if (which == "eight") {
    synth::RigOptions options = stillsOnly(8, {1600, 1200});
    options.layout.tiltDegrees = 10.0;
    options.layout.spacingJitterDegrees = 5.0;
    return {"c8-1600x1200-tilt10-jitter5-i", options, 0.02, 0.4};
  }
  synth::RigOptions options = stillsOnly(6, {1600, 1200});
  options.layout.mount = synth::SensorMount::kUpright;
  options.layout.tiltDegrees = -20.0;
  return {"c6-upright-1600x1200-tilt-20-i", options, 0.02, 0.4};
}

// The rig's true intrinsics as a parameter file without poses.
void writeTrueIntrinsics(const synth::RigTruth& truth, const std::string& file) {
  rig::ParameterDocument document;
  document.setVersion();
  for (std::size_t n = 0; n < truth.cameras.size(); ++n) document.setCamera(static_cast<int>(n), truth.cameras[n]);
  writeFileBytes(file, document.text());
}

rig::ParameterDocument readDocument(const std::string& file) {
  rig::ParameterDocument document;
  document.content() = nlohmann::json::parse(readFileBytes(file));
  return document;
}

// The worst pair's rotation and direction errors against the truth, in the cameras' frames.
cv::Vec2d worstErrors(const rig::ParameterDocument& document, const synth::RigTruth& truth) {
  cv::Vec2d worst(0.0, 0.0);
  for (std::size_t n = 0; n < truth.pairs.size(); ++n) {
    rig::PairPose pose;
    EXPECT_TRUE(document.findPose(static_cast<int>(n), pose)) << n;
    worst[0] = std::max(worst[0], rig::rotationErrorDeg(pose.R, truth.pairs[n].R));
    worst[1] = std::max(worst[1], rig::directionErrorDeg(pose.t, truth.pairs[n].t));
  }
  return worst;
}

// The plain run (and with --ring-adjust its bound) on a generated ring.
void calibrates(const std::string& which, double adjustedRotationDeg = 0.0, double adjustedDirectionDeg = 0.0) {
  const GeneratedRing generated = ring(which);
  synth::RigTruth truth;
  const std::string folder = cachedRig(generated.options, generated.name, truth);
  ASSERT_TRUE(truth.posesInCameraFrames);
  const std::string cameras = std::to_string(truth.cameras.size());
  TempDir dir;
  const std::string file = dir.file("params.json");
  writeTrueIntrinsics(truth, file);
  const RunResult plain = runTool({"-w", "extrinsic", "-n", cameras, "-f", file, "-i", folder + "/image"});
  ASSERT_EQ(plain.status, 0) << plain.out;
  EXPECT_NE(plain.out.find("ring layout: "), std::string::npos) << plain.out;
  rig::ParameterDocument document = readDocument(file);
  rig::PoseFrame frame;
  ASSERT_TRUE(document.findPoseFrame(frame));
  EXPECT_EQ(frame, rig::PoseFrame::kCamera);
  const cv::Vec2d errors = worstErrors(document, truth);
  EXPECT_LT(errors[0], generated.rotationDeg) << which;
  EXPECT_LT(errors[1], generated.directionDeg) << which;
  if (adjustedRotationDeg == 0.0) return;

  writeTrueIntrinsics(truth, file);
  const RunResult adjusted =
      runTool({"-w", "extrinsic", "-n", cameras, "-f", file, "-i", folder + "/image", "--ring-adjust"});
  ASSERT_EQ(adjusted.status, 0) << adjusted.out;
  const cv::Vec2d adjustedErrors = worstErrors(readDocument(file), truth);
  EXPECT_LT(adjustedErrors[0], adjustedRotationDeg) << which;
  EXPECT_LT(adjustedErrors[1], adjustedDirectionDeg) << which;
}

TEST(RingLayouts, four) { calibrates("four", 0.005, 0.05); }
TEST(RingLayouts, eight) { calibrates("eight"); }
TEST(RingLayouts, upright) { calibrates("upright"); }

// A file of another ring than --cameras names, and stills that are no ring: refused with one
// line each, the file as it was.
TEST(RingLayouts, refusals) {
  const GeneratedRing generated = ring("four");
  synth::RigTruth truth;
  const std::string folder = cachedRig(generated.options, generated.name, truth);
  TempDir dir;
  const std::string file = dir.file("params.json");
  writeTrueIntrinsics(truth, file);

  const RunResult six = runKeepingFile({"-w", "extrinsic", "-f", file, "-i", folder + "/image"}, file);
  EXPECT_EQ(six.status, 4);
  EXPECT_NE(six.out.find(file + " holds 4 cameras, the run calibrates 6"), std::string::npos) << six.out;

  // Camera 2 sees a blank wall: its neighbours' pairs find nothing to turn by.
  const std::string stills = dir.file("image");
  fs::copy(folder + "/image", stills);
  const cv::Mat blank(cv::imread(stills + "/origin_2.jpg").size(), CV_8UC3, cv::Scalar(128, 128, 128));
  ASSERT_TRUE(cv::imwrite(stills + "/origin_2.jpg", blank));
  const RunResult blind = runKeepingFile({"-w", "extrinsic", "-n", "4", "-f", file, "-i", stills}, file);
  EXPECT_EQ(blind.status, 9);
  EXPECT_NE(blind.out.find("the ring's layout cannot be found: pair 1-2: "), std::string::npos) << blind.out;
}

// The shared real ring of four (cameras about 30 degrees down at an office floor): it closes
// with and without the ring adjustment.
TEST(RingLayouts, real_ring) {
  const std::string real = sharedRealFolder();
  if (real.empty()) GTEST_SKIP() << "skipped: no shared real/ folder";
  const std::string ring = real + "/nxp-ring4";
  for (const bool adjust : {false, true}) {
    TempDir dir;
    const std::string file = dir.file("params.json");
    writeFileBytes(file, readFileBytes(ring + "/intrinsics.json"));
    std::vector<std::string> args{"-w", "extrinsic", "-n", "4", "-f", file, "-i", ring};
    if (adjust) args.push_back("--ring-adjust");
    const RunResult run = runTool(args);
    ASSERT_EQ(run.status, 0) << run.out;
    const rig::ParameterDocument document = readDocument(file);
    std::vector<rig::PairPose> pairs(4);
    for (int n = 0; n < 4; ++n) {
      ASSERT_TRUE(document.findPose(n, pairs[n]));
      EXPECT_NEAR(rig::rotationAngleDeg(pairs[n].R), 90.0, 10.0) << n;
    }
    EXPECT_LT(rig::computeRingClosure(rig::rotationsOf(pairs)).closureDeg, rig::kClosureLimitDeg);
  }
}

}  // namespace
}  // namespace ringcalib::test
