// The intrinsic job through the real executable on small videos: its progress, the code and
// line for each unusable video, and the earlier parameter file kept whatever fails.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "core/gbk_text.h"
#include "tests/support/board_images.h"
#include "tests/support/test_support.h"

namespace ringcalib::test {
namespace {

const std::string kTooFewViews = std::string(gbk::kTooFewBoardImages) + "\n" + gbk::kRecordSlowly + "\n";
const std::string kEarlierFile = R"({"origin_0":{"camera_matrix":{"w":1.0}},"version":1})";

// `frames` plain grey frames (no board), by default in the FFmpeg writer's MPEG-4 part 2.
void writeVideo(const std::string& path, int frames, cv::Size size = cv::Size(64, 48),
                int fourcc = cv::VideoWriter::fourcc('m', 'p', '4', 'v')) {
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, fourcc, 25.0, size);
  for (int i = 0; i < frames; ++i) writer << cv::Mat(size, CV_8UC3, cv::Scalar::all(30 + i));
}

// A video folder with camera 0's video only: the job ends at camera 0 either way.
std::string videoFolder(const TempDir& dir, const std::string& name, int frames) {
  std::filesystem::create_directory(dir.file(name));
  writeVideo(dir.file(name) + "/origin_0.mp4", frames);
  return dir.file(name);
}

std::string progress(const std::vector<std::string>& values) {
  std::string lines;
  for (const std::string& value : values) lines += "progress:" + value + "\n";
  return lines;
}

// Camera 0 of six: j / 8 of the share 1 / 6 (0.9 / 6 for "all") after j frames, split
// evenly between the folders' videos, one line per read attempt; a video whose frame count
// is unknown (a raw MJPEG stream) shows the start of its share first, then its end.
TEST(IntrinsicJob, ProgressOverTheFirstCamerasShare) {
  TempDir dir;
  const std::string eight = videoFolder(dir, "eight", 8), four = videoFolder(dir, "four", 4);
  const std::string raw = videoFolder(dir, "raw", 0);
  const std::string faint = dir.file("faint");
  std::filesystem::create_directory(faint);
  {
    cv::VideoWriter writer(faint + "/origin_0.mp4", cv::CAP_FFMPEG, cv::VideoWriter::fourcc('m', 'p', '4', 'v'), 25.0,
                           cv::Size(3200, 2400));
    cv::Mat colour;
    cv::cvtColor(renderBoard(cv::Size(3200, 2400), boardToImage({1700, 1150}, 110.0, 8, 25), 100, 60), colour,
                 cv::COLOR_GRAY2BGR);
    for (int i = 0; i < 8; ++i) writer << colour;
  }
  writeVideo(dir.file("raw.mjpeg"), 5, cv::Size(64, 48), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
  std::filesystem::rename(dir.file("raw.mjpeg"), raw + "/origin_0.mp4");
  const std::string file = dir.file("params.json");
  writeFileBytes(file, kEarlierFile);
  const std::string eightFrames = progress(
      {"0.000000", "0.020833", "0.041667", "0.062500", "0.083333", "0.104167", "0.125000", "0.145833", "0.166667"});
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"-w", "intrinsic", "-v", eight}, eightFrames + kTooFewViews + "result : 3\n"},
      {{"-w", "all", "-v", eight, "-v", four},  // a failed intrinsic part of "all": no result line
       progress({"0.000000", "0.009375", "0.018750", "0.028125", "0.037500", "0.046875", "0.056250", "0.065625",
                 "0.075000", "0.075000", "0.093750", "0.112500", "0.131250", "0.150000"}) + kTooFewViews},
      // Given a board (--board) that no sampled frame shows: the board looked for is named.
      {{"-w", "intrinsic", "-v", eight, "-b", "9x6"},
       eightFrames + kTooFewViews + "camera 0: no board of 9x6 inner corners was found in its videos\nresult : 3\n"},
      // A board found in both samples but too faint to accept is not a board never found.
      {{"-w", "intrinsic", "-v", faint, "-b", "9x12"}, eightFrames + kTooFewViews + "result : 3\n"},
      {{"-w", "intrinsic", "-v", four, "-v", raw},
       progress({"0.000000", "0.020833", "0.041667", "0.062500", "0.083333", "0.083333", "0.166667", "0.166667",
                 "0.166667", "0.166667", "0.166667"}) + kTooFewViews + "result : 3\n"},
  };
  for (auto [args, out] : cases) {
    args.insert(args.end(), {"-f", file});
    const RunResult run = runKeepingFile(args, file);
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, out);
  }
}

TEST(IntrinsicJob, UnusableVideosGiveTheirCodeAndKeepTheFile) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);  // for the run as nobody
  const std::string file = dir.file("params.json");
  writeFileBytes(file, kEarlierFile);
  ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
  const std::string videos = dir.file("video"), video = videos + "/origin_0.mp4";
  const std::string second = videoFolder(dir, "second", 8);
  const std::string cannotOpen = "Can not open video : " + video + "\nresult : 2\n";
  const struct {
    std::function<void()> make;
    std::string ending;  // of standard output
    bool asNobody = false;
  } cases[] = {
      {[] {}, cannotOpen},
      {[&] { writeFileBytes(video, ""); }, cannotOpen},
      {[&] { writeFileBytes(video, "not a video\n"); }, cannotOpen},
      {[&] { std::filesystem::create_directory(video); }, cannotOpen},
      {[&] {  // cut in the middle
         writeVideo(video, 24);
         writeFileBytes(video, readFileBytes(video).substr(0, readFileBytes(video).size() / 2));
       }, cannotOpen},
      {[&] { writeVideo(video, 8), ::chmod(video.c_str(), 0); }, cannotOpen, true},
      // The video library reads a JPEG by its contents, as a video of one frame.
      {[&] { cv::imwrite(dir.file("x.jpg"), cv::Mat(48, 64, CV_8UC3)), std::filesystem::rename(dir.file("x.jpg"), video); },
       kTooFewViews + "result : 3\n"},
      {[&] { writeVideo(video, 2); }, kTooFewViews + "result : 3\n"},
      // Only a back end other than FFmpeg reads a Radiance HDR still: it is read, not refused.
      {[&] { cv::imwrite(dir.file("x.hdr"), cv::Mat(48, 64, CV_32FC3, cv::Scalar::all(0.5))),
             std::filesystem::rename(dir.file("x.hdr"), video); },
       kTooFewViews + "result : 3\n"},
      // One camera matrix cannot fit frames of two sizes.
      {[&] { writeVideo(video, 8, cv::Size(80, 60)); },
       second + "/origin_0.mp4 has frames of 64x48, earlier frames of camera 0 are 80x60\nresult : 9\n"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(videos);
    std::filesystem::create_directory(videos);
    c.make();
    const RunResult run =
        runKeepingFile({"-w", "intrinsic", "-v", videos, "-v", second, "-f", file}, file, RunOptions{{}, c.asNobody});
    EXPECT_EQ(run.status, c.ending[c.ending.size() - 2] - '0') << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), c.ending.size())), c.ending);
  }
}

// A file that cannot take the result fails the run before any video is read.
TEST(IntrinsicJob, UnwritableFileFailsFirst) {
  TempDir dir;
  const std::string videos = videoFolder(dir, "videos", 4), readOnly = dir.file("read-only.json");
  writeFileBytes(readOnly, kEarlierFile);
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  for (const std::string& file : {dir.file("no/such/folder.json"), dir.path(), std::string(), readOnly}) {
    const RunResult run = runKeepingFile({"-w", "intrinsic", "-v", videos, "-f", file}, file);
    EXPECT_EQ(run.status, 2) << file;
    EXPECT_EQ(run.out, "result : 2\n") << file;
  }
  struct stat info;
  ASSERT_EQ(::stat(readOnly.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0444u);
}

}  // namespace
}  // namespace ringcalib::test
