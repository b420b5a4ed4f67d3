// The intrinsic job end to end on the shared generated rig: without the video of camera 3, and
// with a parameter file that cannot take the result.

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/support/rig_cache.h"
#include "tests/support/test_support.h"

namespace {

using ringcalib::test::readFileBytes;
using ringcalib::test::runTool;
using ringcalib::test::TempDir;
using ringcalib::test::writeFileBytes;

std::string videoFolder() {
  ringcalib::synth::RigTruth truth;
  return ringcalib::test::cachedRig(ringcalib::test::sharedRigOptions(), truth) + "/video";
}

// Cameras whose solve printed its "fisheye K" block.
std::size_t solvedCameras(const std::string& out) {
  std::size_t blocks = 0;
  for (std::size_t at = out.find("fisheye K"); at != std::string::npos;
       at = out.find("fisheye K", at + 1)) {
    ++blocks;
  }
  return blocks;
}

TEST(IntrinsicRig, MissingVideoOfCameraThreeStopsAfterCamerasZeroToTwo) {
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
  EXPECT_EQ(solvedCameras(run.out), 3u);
  const std::string ending = "progress:0.500000\nCan not open video : " + partial +
                             "/origin_3.mp4\nresult : 2\n";
  ASSERT_GE(run.out.size(), ending.size());
  EXPECT_EQ(run.out.substr(run.out.size() - ending.size()), ending);
  EXPECT_EQ(readFileBytes(file), earlier);
}

TEST(IntrinsicRig, FullDeviceAsFileFailsAfterTheWholeCalibration) {
  // /dev/full opens for writing but every write fails (ENOSPC): the run calibrates all six
  // cameras, then must say that nothing was stored instead of reporting success.
  const std::string device = "/dev/full";
  if (::access(device.c_str(), W_OK) != 0) GTEST_SKIP() << device << " is not writable here";

  const auto run = runTool({"--what", "intrinsic", "--video", videoFolder(), "--file", device});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(solvedCameras(run.out), 6u);
  const std::string ending =
      "progress:1.000000\nCan not write camera parameter file : /dev/full\nresult : 2\n";
  ASSERT_GE(run.out.size(), ending.size());
  EXPECT_EQ(run.out.substr(run.out.size() - ending.size()), ending);
  EXPECT_EQ(run.err, "");
}

}  // namespace
