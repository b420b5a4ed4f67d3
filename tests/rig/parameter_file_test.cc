// The bytes of the parameter file: compact, keys in byte order at every level, numbers with
// 15 significant digits, and a failed write that leaves the earlier file as it was.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>

#include "calibration/extrinsic/stages.h"
#include "calibration/intrinsic/intrinsic_job.h"
#include "rig/compact_json.h"
#include "rig/file_writer.h"
#include "rig/parameter_document.h"
#include "tests/support/test_support.h"

namespace {

using nlohmann::json;
using ringcalib::serializeCompact;

TEST(ParameterFileBytes, NumberFormats) {
  const struct {
    json value;
    const char* bytes;
  } cases[] = {
      {960.0, "960.0"},   {0.0, "0.0"},     {-0.0, "-0.0"},       {550.0, "550.0"},
      {-2.5, "-2.5"},     {0.002, "0.002"}, {0.1 + 0.2, "0.3"},   {1.0 / 3.0, "0.333333333333333"},
      {1e-20, "1e-20"},   {1e21, "1e+21"},  {123456789012345678.0, "1.23456789012346e+17"},
      {std::nan(""), "null"}, {HUGE_VAL, "null"}, {-HUGE_VAL, "null"},
      {1, "1"},           {-2, "-2"},       {18446744073709551615ULL, "18446744073709551615"},
  };
  for (const auto& c : cases) EXPECT_EQ(serializeCompact(c.value), c.bytes) << c.bytes;
}

// A member nested deeper than any stack of calls is written back whole.
TEST(ParameterFileBytes, DeepNesting) {
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  EXPECT_EQ(serializeCompact(json::parse(deep)), deep);
}

constexpr char kReadmeExample[] =
    R"({"origin_0":{"camera_matrix":{"w":540.2187,"x":582.6631,"y":582.1049,"z":960.0},"distortion_factor":{"w":-0.0021,"x":0.0435,"y":-0.0117,"z":0.0049},"extrinsic_param":{"R00":0.50213,"R01":0.00412,"R02":-0.86478,"R10":-0.00731,"R11":0.99997,"R12":0.00052,"R20":0.86476,"R21":0.00606,"R22":0.50215,"T00":-0.96594,"T10":0.00871,"T20":0.25864}},)"
    R"("origin_1":{"camera_matrix":{"w":541.0,"x":580.25,"y":580.5,"z":958.75},"distortion_factor":{"w":-0.0019,"x":0.0441,"y":-0.0125,"z":0.0052}},"version":1})";

// The README's example, entered as the two jobs enter their members (cameras in reverse
// order, keys not in byte order, a pose replacing an earlier one with a member of its own):
// compact, keys in byte order at every level.
TEST(ParameterFileBytes, ReadmeExampleByteForByte) {
  ringcalib::rig::ParameterDocument document;
  ASSERT_EQ(ringcalib::intrinsic::writeCameraParams(document, cv::Matx33d(580.25, 0, 958.75, 0, 580.5, 541.0, 0, 0, 1),
                                                    cv::Vec4d(0.0441, -0.0125, 0.0052, -0.0019), 1),
            0);
  ASSERT_EQ(ringcalib::intrinsic::writeCameraParams(document, cv::Matx33d(582.6631, 0, 960.0, 0, 582.1049, 540.2187, 0, 0, 1),
                                                    cv::Vec4d(0.0435, -0.0117, 0.0049, -0.0021), 0),
            0);
  document.content()["version"] = 1;
  document.content()["origin_0"]["extrinsic_param"] = {{"R00", 7.0}, {"old", 1}};
  const cv::Matx33d R(0.50213, 0.00412, -0.86478, -0.00731, 0.99997, 0.00052, 0.86476, 0.00606, 0.50215);
  const cv::Vec3d T(-0.96594, 0.00871, 0.25864);
  ASSERT_EQ(ringcalib::extrinsic::writeExtrinsicParam(document, {R, T}, 0), 0);
  EXPECT_EQ(serializeCompact(document.content()), kReadmeExample);
}

// A write that fails half-way (here: the file size limit) must report the failure and leave
// the earlier file, and nothing else, in the folder.
// The video frames' size: a member only when not 3200 x 2400, so that the standard rig's file
// keeps its bytes; without it a camera's frames are 3200 x 2400.
TEST(ParameterFileBytes, FrameSizeOnlyWhenNotStandard) {
  const ringcalib::rig::FisheyeCamera camera{cv::Matx33d(1.5, 0, 2, 0, 1.5, 3, 0, 0, 1), cv::Vec4d(0.5, 0, 0, 0)};
  ringcalib::rig::ParameterDocument document;
  document.setCamera(0, camera);
  EXPECT_EQ(document.text(),
            R"({"origin_0":{"camera_matrix":{"w":3.0,"x":1.5,"y":1.5,"z":2.0},"distortion_factor":{"w":0.0,"x":0.5,"y":0.0,"z":0.0}}})");
  EXPECT_EQ(document.frameSize(0), cv::Size(3200, 2400));
  document.setCamera(0, {camera.K, camera.D, cv::Size(1920, 1208)});
  EXPECT_EQ(document.text(),
            R"({"origin_0":{"camera_matrix":{"w":3.0,"x":1.5,"y":1.5,"z":2.0},"distortion_factor":{"w":0.0,"x":0.5,"y":0.0,"z":0.0},"frame_size":{"height":1208,"width":1920}}})");
  ringcalib::rig::FisheyeCamera read;
  ASSERT_TRUE(document.findCamera(0, read));
  EXPECT_EQ(read.frameSize, cv::Size(1920, 1208));
  EXPECT_EQ(document.camera(0).frameSize, cv::Size(1920, 1208));
  for (const char* bad : {R"({"height":1208})", R"({"height":1208,"width":0})", R"({"height":1208,"width":19.5})",
                          R"({"height":"1208","width":1920})", R"([1920,1208])"}) {
    document.content()["origin_0"]["frame_size"] = json::parse(bad);
    EXPECT_FALSE(document.findCamera(0, read)) << bad;
    EXPECT_THROW(document.camera(0), std::runtime_error) << bad;
  }
}

// The stills' scale over the video frames follows from the widths; another aspect (beyond a
// pixel of rounding) is a crop, which no scale describes.
TEST(ParameterFileBytes, StillScaleFromTheSizes) {
  const struct {
    cv::Size frames, still;
    double scale;
  } cases[] = {{{3200, 2400}, {4000, 3000}, 1.25}, {{3200, 2400}, {3200, 2400}, 1.0},
               {{1600, 1200}, {2000, 1500}, 1.25}, {{1920, 1208}, {3840, 2416}, 2.0},
               {{1920, 1080}, {1280, 721}, 2.0 / 3.0}, {{1920, 1080}, {1280, 722}, 0.0},
               {{3200, 2400}, {4000, 2250}, 0.0},  {{3200, 2400}, {0, 0}, 0.0}};
  for (const auto& c : cases) {
    const ringcalib::rig::FisheyeCamera camera{cv::Matx33d::eye(), cv::Vec4d(), c.frames};
    EXPECT_EQ(camera.stillScale(c.still), c.scale) << c.frames << " " << c.still;
  }
}

TEST(WriteParameterFile, AFailedWriteKeepsTheEarlierFile) {
  ringcalib::test::TempDir dir;
  const std::string path = dir.file("p.json");
  ringcalib::test::writeFileBytes(path, "earlier");
  const pid_t child = ::fork();
  if (child == 0) {
    const rlimit limit{4096, 4096};
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    _exit(ringcalib::writeWholeFile(path, std::string(10000, 'x')));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(ringcalib::test::readFileBytes(path), "earlier");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
