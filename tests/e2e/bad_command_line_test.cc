// Command lines with unusual paths, repeated options and "--": the tool reads exactly what it
// was given and names paths byte for byte.
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/e2e/bad_input.h"

namespace ringcalib::test {
namespace {

TEST(BadCommandLineTest, PathsWithBlanksAndNonAsciiAreNamedByteForByte) {
  TempDir dir;
  const std::string videos = dir.file("vid\xC3\xA9o  2026/\xE6\x91\x84\xE5\x83\x8F");  // "vidéo  2026/摄像"
  const std::string file = dir.file("param\xC3\xA8tres rig.json");
  writeFileBytes(file, intrinsicDocument());
  const RunResult video = runKeepingFile({"-w", "intrinsic", "-v", videos, "-f", file}, file);
  EXPECT_EQ(video.status, 2);
  EXPECT_EQ(video.out, "Can not open video : " + videos + "/origin_0.mp4\nresult : 2\n");

  const std::string folder = dir.file("\xC3\xBC folder.json");
  std::filesystem::create_directory(folder);
  const RunResult param = runKeepingFile({"-w", "extrinsic", "-i", videos, "-f", folder}, folder);
  EXPECT_EQ(param.status, 2);
  EXPECT_EQ(param.out,
            "Can not read camera parameter file : " + folder + " is a directory\nresult : 2\n");
}

TEST(BadCommandLineTest, RepeatedSingleOptionsAreRefused) {
  TempDir dir;
  const std::string first = dir.file("first.json");
  const std::string second = dir.file("second.json");
  writeFileBytes(first, intrinsicDocument());
  writeFileBytes(second, "{\"version\":1}");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-w", "intrinsic", "-w", "extrinsic", "-f", first},
        std::vector<std::string>{"-w", "intrinsic", "-f", first, "--file", second}}) {
    const RunResult run = runKeepingFile(args, first);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("progress:"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("result :"), std::string::npos) << run.out;
    EXPECT_EQ(readFileBytes(second), "{\"version\":1}");
  }
}

TEST(BadCommandLineTest, DoubleDashEndsTheOptions) {
  TempDir dir;
  const std::string file = dir.file("camera.json");
  writeFileBytes(file, intrinsicDocument());
  // The folder after "--" is ignored: with no video folder camera 0 has no view (code 3)
  // instead of a video that cannot be opened (code 2).
  const RunResult ignored =
      runKeepingFile({"-w", "intrinsic", "-f", file, "--", "-v", dir.file("videos")}, file);
  EXPECT_EQ(ignored.status, 3);
  EXPECT_EQ(ignored.out.find("Can not open video"), std::string::npos) << ignored.out;
  EXPECT_TRUE(hasLine(ignored.out, "result : 3")) << ignored.out;

  // Required options after "--" are not seen at all.
  const RunResult missing = runKeepingFile({"--", "-w", "intrinsic", "-f", file}, file);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out.find("result :"), std::string::npos) << missing.out;
}

}  // namespace
}  // namespace ringcalib::test
