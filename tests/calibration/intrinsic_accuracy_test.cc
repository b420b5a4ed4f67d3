// The intrinsic job end to end on a small generated rig: accuracy against the rig's truth,
// and a rig without the video of camera 3.

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <iostream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/test_support.h"
#include "tools/synthetic_rig.h"
#include "tools/truth_compare.h"

namespace {

using ringcalib::test::readFileBytes;
using ringcalib::test::runTool;
using ringcalib::test::TempDir;
using ringcalib::test::writeFileBytes;

// Full-size frames, but only as many as give each camera its 20 views with a margin.
constexpr int kFramesPerCamera = 128;
constexpr std::uint64_t kSeed = 3;

// Bars of the job on a generated rig.
constexpr double kMaxProjectionRms = 0.3;  // pixels, rays within 80 degrees of the axis
constexpr double kMaxMatrixError = 1.0;    // pixels, each of fx, fy, cx, cy

class IntrinsicAccuracy : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    rig_ = new TempDir;
    ringcalib::synth::RigOptions options;
    options.seed = kSeed;
    options.framesPerVideo = kFramesPerCamera;
    options.images = false;
    truth_ = new ringcalib::synth::RigTruth(ringcalib::synth::generateRig(rig_->path(), options));
  }
  static void TearDownTestSuite() {
    delete truth_;
    delete rig_;
  }
  static std::string videoFolder() { return rig_->file("video"); }

  static TempDir* rig_;
  static ringcalib::synth::RigTruth* truth_;
};

TempDir* IntrinsicAccuracy::rig_ = nullptr;
ringcalib::synth::RigTruth* IntrinsicAccuracy::truth_ = nullptr;

TEST_F(IntrinsicAccuracy, EveryCameraMeetsTheBar) {
  TempDir out;
  const std::string file = out.file("params.json");
  const auto run = runTool({"--what", "intrinsic", "--video", videoFolder(), "--file", file});
  ASSERT_EQ(run.status, 0) << run.out.substr(run.out.size() > 3000 ? run.out.size() - 3000 : 0);
  EXPECT_EQ(run.out.substr(run.out.size() - 29), "progress:1.000000\nresult : 0\n");

  // Six solver blocks, each followed by its camera's closing progress line.
  std::vector<std::string> closing;
  for (std::size_t at = run.out.find("fisheye D\n"); at != std::string::npos;
       at = run.out.find("fisheye D\n", at + 1)) {
    const std::size_t next = run.out.find('\n', run.out.find('\n', at) + 1) + 1;
    closing.push_back(run.out.substr(next, run.out.find('\n', next) - next));
  }
  EXPECT_EQ(closing, std::vector<std::string>({"progress:0.166667", "progress:0.333333",
                                               "progress:0.500000", "progress:0.666667",
                                               "progress:0.833333", "progress:1.000000"}));

  const std::string bytes = readFileBytes(file);
  const nlohmann::json document = nlohmann::json::parse(bytes);
  EXPECT_EQ(bytes.rfind("},\"version\":1}"), bytes.size() - 14);
  for (int camera = 0; camera < 6; ++camera) {
    const nlohmann::json& entry = document.at("origin_" + std::to_string(camera));
    const nlohmann::json& m = entry.at("camera_matrix");
    const nlohmann::json& d = entry.at("distortion_factor");
    const cv::Matx33d K(m.at("x").get<double>(), 0, m.at("z").get<double>(), 0,
                        m.at("y").get<double>(), m.at("w").get<double>(), 0, 0, 1);
    const cv::Vec4d D(d.at("x").get<double>(), d.at("y").get<double>(), d.at("z").get<double>(),
                      d.at("w").get<double>());
    const ringcalib::synth::CameraTruth& truth = truth_->cameras[camera];
    const double rms = ringcalib::synth::projectionRmsError(truth, K, D, 80.0);
    std::cout << "camera " << camera << ": projection RMS " << rms << " px, fx " << K(0, 0) - truth.K(0, 0)
              << " fy " << K(1, 1) - truth.K(1, 1) << " cx " << K(0, 2) - truth.K(0, 2) << " cy "
              << K(1, 2) - truth.K(1, 2) << std::endl;
    SCOPED_TRACE("camera " + std::to_string(camera));
    EXPECT_LT(rms, kMaxProjectionRms);
    EXPECT_NEAR(K(0, 0), truth.K(0, 0), kMaxMatrixError);
    EXPECT_NEAR(K(1, 1), truth.K(1, 1), kMaxMatrixError);
    EXPECT_NEAR(K(0, 2), truth.K(0, 2), kMaxMatrixError);
    EXPECT_NEAR(K(1, 2), truth.K(1, 2), kMaxMatrixError);
  }
}

TEST_F(IntrinsicAccuracy, MissingVideoOfCameraThreeStopsAfterCamerasZeroToTwo) {
  TempDir out;
  const std::string partial = out.file("videos");
  ASSERT_EQ(::mkdir(partial.c_str(), 0755), 0);
  for (int camera = 0; camera < 3; ++camera) {
    const std::string name = "/origin_" + std::to_string(camera) + ".mp4";
    ASSERT_EQ(::symlink((videoFolder() + name).c_str(), (partial + name).c_str()), 0);
  }
  const std::string file = out.file("params.json");
  const std::string earlier = R"({"note":"earlier calibration","version":1})";
  writeFileBytes(file, earlier);

  const auto run = runTool({"--what", "intrinsic", "--video", partial, "--file", file});
  EXPECT_EQ(run.status, 2);
  std::size_t blocks = 0;
  for (std::size_t at = run.out.find("fisheye K"); at != std::string::npos;
       at = run.out.find("fisheye K", at + 1)) {
    ++blocks;
  }
  EXPECT_EQ(blocks, 3u);
  const std::string ending = "progress:0.500000\nCan not open video : " + partial +
                             "/origin_3.mp4\nresult : 2\n";
  ASSERT_GE(run.out.size(), ending.size());
  EXPECT_EQ(run.out.substr(run.out.size() - ending.size()), ending);
  EXPECT_EQ(readFileBytes(file), earlier);
}

}  // namespace
