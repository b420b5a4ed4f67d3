// The intrinsic job's output, result codes and file handling, run through the real tool.

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <opencv2/videoio.hpp>

#include "core/gbk_text.h"
#include "tests/support/test_support.h"

namespace {

using ringcalib::test::readFileBytes;
using ringcalib::test::runTool;
using ringcalib::test::TempDir;
using ringcalib::test::writeFileBytes;

const std::string kTooFewViews = std::string(ringcalib::gbk::kTooFewBoardImages) + "\n" +
                                 ringcalib::gbk::kRecordSlowly + "\n";

const std::string kEarlierFile =
    R"({"origin_0":{"camera_matrix":{"w":1.0,"x":2.0,"y":3.0,"z":4.0}},"version":1})";

// A small video of `frames` plain grey frames (no board).
void writeBlankVideo(const std::string& path, int frames,
                     int fourcc = cv::VideoWriter::fourcc('m', 'p', '4', 'v'),
                     const std::string& writtenAs = "") {
  const std::string target = writtenAs.empty() ? path : writtenAs;
  cv::VideoWriter writer(target, cv::CAP_FFMPEG, fourcc, 25.0, cv::Size(64, 48));
  ASSERT_TRUE(writer.isOpened()) << target;
  for (int i = 0; i < frames; ++i) writer << cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(30 + i));
  writer.release();
  if (target != path) {
    ASSERT_EQ(std::rename(target.c_str(), path.c_str()), 0);
  }
}

// A folder holding the videos of all six cameras, `frames` frames each.
std::string makeVideoFolder(const TempDir& dir, const std::string& name, int frames) {
  const std::string folder = dir.file(name);
  ::mkdir(folder.c_str(), 0755);
  for (int camera = 0; camera < 6; ++camera) {
    writeBlankVideo(folder + "/origin_" + std::to_string(camera) + ".mp4", frames);
  }
  return folder;
}

std::string progressLines(const std::vector<std::string>& values) {
  std::string lines;
  for (const std::string& value : values) lines += "progress:" + value + "\n";
  return lines;
}

TEST(IntrinsicJob, WithoutVideosCameraZeroHasTooFewViewsAndTheFileIsKept) {
  TempDir dir;
  const std::string file = dir.file("params.json");
  writeFileBytes(file, kEarlierFile);
  const auto run = runTool({"--what", "intrinsic", "--file", file});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, kTooFewViews + "result : 3\n");
  EXPECT_EQ(readFileBytes(file), kEarlierFile);
}

TEST(IntrinsicJob, ProgressOfOneFolderRunsOverTheCamerasShare) {
  TempDir dir;
  const std::string folder = makeVideoFolder(dir, "videos", 8);
  const std::string file = dir.file("params.json");
  writeFileBytes(file, kEarlierFile);
  const auto run = runTool({"--what", "intrinsic", "-v", folder, "--file", file});
  EXPECT_EQ(run.status, 3);
  // Camera 0 of six: j / 8 of the share 1 / 6 after j frames, one line per read attempt.
  EXPECT_EQ(run.out, progressLines({"0.000000", "0.020833", "0.041667", "0.062500", "0.083333",
                                    "0.104167", "0.125000", "0.145833", "0.166667"}) +
                         kTooFewViews + "result : 3\n");
  EXPECT_EQ(readFileBytes(file), kEarlierFile);
}

TEST(IntrinsicJob, ProgressOfTwoFoldersSplitsTheShareForAll) {
  TempDir dir;
  const std::string first = makeVideoFolder(dir, "first", 8);
  const std::string second = makeVideoFolder(dir, "second", 4);
  const std::string file = dir.file("params.json");
  const auto run =
      runTool({"--what", "all", "-v", first, "-v", second, "--file", file});
  EXPECT_EQ(run.status, 3);
  // For "all" the share of a camera is 0.9 / 6 = 0.15; each folder's video gets half of it.
  // A failed intrinsic job ends "all" without a result line.
  EXPECT_EQ(run.out, progressLines({"0.000000", "0.009375", "0.018750", "0.028125", "0.037500",
                                    "0.046875", "0.056250", "0.065625", "0.075000", "0.075000",
                                    "0.093750", "0.112500", "0.131250", "0.150000"}) +
                         kTooFewViews);
  EXPECT_FALSE(ringcalib::test::fileExists(file));
}

TEST(IntrinsicJob, VideoWithoutAFrameCountStaysAtTheStartOfItsShare) {
  TempDir dir;
  const std::string first = makeVideoFolder(dir, "first", 4);
  const std::string second = makeVideoFolder(dir, "second", 4);
  // A raw MJPEG stream has no index: its frame count cannot be read.
  writeBlankVideo(second + "/origin_0.mp4", 5, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                  dir.file("raw.mjpeg"));
  const auto run = runTool({"-w", "intrinsic", "-v", first, "-v", second, "-f", dir.file("p")});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, progressLines({"0.000000", "0.020833", "0.041667", "0.062500", "0.083333",
                                    "0.083333", "0.083333", "0.083333", "0.083333", "0.083333",
                                    "0.083333"}) +
                         kTooFewViews + "result : 3\n");
}

TEST(IntrinsicJob, MissingOrUnreadableVideoIsNamedWithCodeTwo) {
  TempDir dir;
  const std::string first = makeVideoFolder(dir, "first", 4);
  const std::string second = dir.file("second");
  ::mkdir(second.c_str(), 0755);
  const std::string file = dir.file("params.json");
  writeFileBytes(file, kEarlierFile);
  const std::string missing = second + "/origin_0.mp4";
  auto run = runTool({"-w", "intrinsic", "-v", first, "-v", second, "-f", file});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, progressLines({"0.000000", "0.020833", "0.041667", "0.062500", "0.083333"}) +
                         "Can not open video : " + missing + "\nresult : 2\n");
  writeFileBytes(missing, "not a video");
  run = runTool({"-w", "intrinsic", "-v", first, "-v", second, "-f", file});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.out.find("Can not open video : " + missing + "\nresult : 2\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(readFileBytes(file), kEarlierFile);
}

TEST(IntrinsicJob, UnwritableFileFailsBeforeAnyVideoIsRead) {
  TempDir dir;
  const std::string folder = makeVideoFolder(dir, "videos", 4);
  for (const std::string& file : {dir.file("no/such/folder/params.json"), dir.path(),
                                  std::string()}) {
    const auto run = runTool({"-w", "intrinsic", "-v", folder, "-f", file});
    EXPECT_EQ(run.status, 2) << file;
    EXPECT_EQ(run.out, "result : 2\n") << file;
  }
}

}  // namespace
