// The intrinsic job on videos that are missing, broken or useless: one line naming the
// video and a code, and the earlier parameter file untouched.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "tests/e2e/bad_input.h"

namespace ringcalib::test {
namespace {

const cv::Size kFrame(64, 48);

class BadVideoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(videos());
    writeFileBytes(file(), intrinsicDocument());
  }
  std::string videos() const { return dir_.file("video"); }
  std::string video0() const { return videos() + "/origin_0.mp4"; }
  std::string file() const { return dir_.file("camera.json"); }
  RunResult run() { return runKeepingFile({"-w", "intrinsic", "-v", videos(), "-f", file()}, file()); }
  void expectCannotOpen() {
    const RunResult result = run();
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(hasLine(result.out, "Can not open video : " + video0())) << result.out;
  }
  void expectTooFewViews() {
    const RunResult result = run();
    EXPECT_EQ(result.status, 3) << result.out;
    EXPECT_TRUE(hasLine(result.out, "result : 3")) << result.out;
  }

  TempDir dir_;
};

TEST_F(BadVideoTest, MissingVideo) { expectCannotOpen(); }

TEST_F(BadVideoTest, EmptyVideo) {
  writeFileBytes(video0(), "");
  expectCannotOpen();
}

TEST_F(BadVideoTest, TextNamedAsVideo) {
  writeFileBytes(video0(), "not a video, only a line of text\n");
  expectCannotOpen();
}

TEST_F(BadVideoTest, JpegNamedAsVideo) {
  ASSERT_TRUE(cv::imwrite(dir_.file("still.jpg"), cv::Mat(kFrame, CV_8UC3, cv::Scalar::all(90))));
  writeFileBytes(video0(), readFileBytes(dir_.file("still.jpg")));
  // The video library reads a JPEG by its contents as a video of one frame: no view.
  expectTooFewViews();
}

TEST_F(BadVideoTest, DirectoryNamedAsVideo) {
  std::filesystem::create_directory(video0());
  expectCannotOpen();
}

TEST_F(BadVideoTest, VideoTruncatedInTheMiddle) {
  writeVideo(video0(), 24, kFrame);
  const std::string bytes = readFileBytes(video0());
  writeFileBytes(video0(), bytes.substr(0, bytes.size() / 2));
  expectCannotOpen();
}

TEST_F(BadVideoTest, UnreadableVideo) {
  // Root reads a file whatever its mode, so there is nothing to refuse.
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not apply";
  writeVideo(video0(), 8, kFrame);
  ASSERT_EQ(::chmod(video0().c_str(), 0), 0);
  expectCannotOpen();
}

TEST_F(BadVideoTest, VideoOfTwoFramesGivesNoView) {
  writeVideo(video0(), 2, kFrame);
  expectTooFewViews();
}

TEST_F(BadVideoTest, BlackVideoGivesNoView) {
  writeVideo(video0(), 12, kFrame);
  expectTooFewViews();
}

TEST_F(BadVideoTest, FramesOfAnotherSizeAreRefused) {
  // Camera 0 in two folders, at two frame sizes: one camera matrix cannot fit both.
  const std::string second = dir_.file("video 2");
  std::filesystem::create_directory(second);
  writeVideo(video0(), 8, kFrame);
  writeVideo(second + "/origin_0.mp4", 8, cv::Size(80, 60));
  const RunResult result =
      runKeepingFile({"-w", "intrinsic", "-v", videos(), "-v", second, "-f", file()}, file());
  EXPECT_EQ(result.status, 9);
  EXPECT_TRUE(hasLine(result.out, second + "/origin_0.mp4 has frames of 80x60, earlier frames "
                                           "of camera 0 are 64x48"))
      << result.out;
}

}  // namespace
}  // namespace ringcalib::test
