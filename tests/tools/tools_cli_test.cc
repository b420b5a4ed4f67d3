// The two executables: ringcalib-synth writes a rig, ringcalib-compare reads it back.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "tests/support/test_support.h"
#include "tools/synthetic_rig.h"

namespace ringcalib::synth {
namespace {

// The tools are built into <build>/tools, this test into <build>/tests/tools.
std::string toolPath(const std::string& name) {
  char self[PATH_MAX] = {};
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return name;
  return (std::filesystem::path(self).parent_path() / "../../tools" / name).lexically_normal().string();
}

test::RunResult synth(const std::vector<std::string>& args) { return test::runProgram(toolPath("ringcalib-synth"), args); }
test::RunResult compare(const std::vector<std::string>& args) {
  return test::runProgram(toolPath("ringcalib-compare"), args);
}

TEST(SynthTool, WritesTheSameSmallRigForTheSameSeedOnAnyNumberOfThreads) {
  test::TempDir first, second;
  for (const test::TempDir* dir : {&first, &second}) {
    // The second run renders on one thread: rendering the pieces at once must not change a byte.
    if (dir == &second) ::setenv("OPENCV_FOR_THREADS_NUM", "1", 1);
    const test::RunResult run =
        synth({"--out", dir->path(), "--seed", "7", "--frames", "3", "--width", "320", "--height", "240"});
    ::unsetenv("OPENCV_FOR_THREADS_NUM");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("rig written to " + dir->path()), std::string::npos) << run.out;
  }
  for (int n = 0; n < 6; ++n) {
    for (const std::string& file : {"video/origin_" + std::to_string(n) + ".mp4", "image/origin_" + std::to_string(n) + ".jpg"}) {
      ASSERT_TRUE(test::fileExists(first.file(file))) << file;
      EXPECT_EQ(test::readFileBytes(first.file(file)), test::readFileBytes(second.file(file))) << file;
    }
  }
  const cv::Mat still = cv::imread(first.file("image/origin_0.jpg"), cv::IMREAD_UNCHANGED);
  EXPECT_EQ(still.size(), cv::Size(400, 300)) << "stills are 1.25 times the video size";
  EXPECT_EQ(still.channels(), 1);
  EXPECT_EQ(test::readFileBytes(first.file("truth.json")), test::readFileBytes(second.file("truth.json")));
  const RigTruth truth = readTruth(first.file("truth.json"));
  EXPECT_NEAR(truth.cameras[0].K(0, 0), 825.0 / 10.0, 2.6) << "K follows the frame size";
}

TEST(SynthTool, HonoursSwitchesAndRejectsBadOptionsWithOneLine) {
  test::TempDir dir;
  const test::RunResult noOut = synth({"--frames", "2"});
  EXPECT_EQ(noOut.status, 1);
  const test::RunResult zeroFrames = synth({"--out", dir.path(), "--frames", "0", "--no-image"});
  EXPECT_EQ(zeroFrames.status, 9);
  EXPECT_NE(zeroFrames.err.find("frame count"), std::string::npos) << zeroFrames.err;
  const test::RunResult badAbsent = synth({"--out", dir.path(), "--absent", "1.5", "--no-video", "--no-image"});
  EXPECT_EQ(badAbsent.status, 9);
  EXPECT_NE(badAbsent.err.find("absent"), std::string::npos) << badAbsent.err;
  const test::RunResult noImage = synth({"--out", dir.file("rig"), "--width", "320", "--height", "240", "--frames", "1", "--no-image"});
  EXPECT_EQ(noImage.status, 0) << noImage.err;
  EXPECT_TRUE(test::fileExists(dir.file("rig/video/origin_5.mp4")));
  EXPECT_FALSE(test::fileExists(dir.file("rig/image"))) << "--no-image writes no stills";
  // A video that cannot be written fails the run, though the other pieces render at the same time.
  std::filesystem::create_directories(dir.file("taken/video/origin_2.mp4"));
  const test::RunResult taken = synth({"--out", dir.file("taken"), "--width", "320", "--height", "240", "--frames", "1"});
  EXPECT_EQ(taken.status, 9);
  EXPECT_NE(taken.err.find("origin_2.mp4"), std::string::npos) << taken.err;
  test::writeFileBytes(dir.file("plain"), "x");
  const test::RunResult blocked = synth({"--out", dir.file("plain") + "/rig", "--no-video", "--no-image"});
  EXPECT_EQ(blocked.status, 9);
  EXPECT_NE(blocked.err.find(dir.file("plain")), std::string::npos) << blocked.err;
}

TEST(CompareTool, PrintsTheTableAndFailsOnMissingFiles) {
  test::TempDir dir;
  ASSERT_EQ(synth({"--out", dir.path(), "--seed", "3", "--no-video", "--no-image"}).status, 0);
  const RigTruth truth = readTruth(dir.file("truth.json"));
  // Camera 2 is off by one pixel in cx; the others are exact.
  std::string params = "{";
  for (int n = 0; n < 6; ++n) {
    const CameraTruth& c = truth.cameras[static_cast<size_t>(n)];
    char buffer[400];
    std::snprintf(buffer, sizeof buffer,
                  "\"origin_%d\":{\"camera_matrix\":{\"w\":%.17g,\"x\":%.17g,\"y\":%.17g,\"z\":%.17g},"
                  "\"distortion_factor\":{\"w\":%.17g,\"x\":%.17g,\"y\":%.17g,\"z\":%.17g}},",
                  n, c.K(1, 2), c.K(0, 0), c.K(1, 1), c.K(0, 2) + (n == 2 ? 1.0 : 0.0), c.D[3], c.D[0], c.D[1], c.D[2]);
    params += buffer;
  }
  test::writeFileBytes(dir.file("params.json"), params + "\"version\":1}");

  const test::RunResult run = compare({"--truth", dir.file("truth.json"), "--params", dir.file("params.json")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("     1          0.0000   +0.000   +0.000   +0.000   +0.000\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("     2          1.0000   +0.000   +0.000   +1.000   +0.000\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("   0-1  not in file\n"), std::string::npos) << run.out;

  const test::RunResult missing = compare({"--truth", dir.file("truth.json"), "--params", dir.file("none.json")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find(dir.file("none.json")), std::string::npos) << missing.err;
  const test::RunResult noTruth = compare({"--truth", dir.file("none.json"), "--params", dir.file("params.json")});
  EXPECT_EQ(noTruth.status, 2);
  EXPECT_NE(noTruth.err.find(dir.file("none.json")), std::string::npos) << noTruth.err;
}

}  // namespace
}  // namespace ringcalib::synth
