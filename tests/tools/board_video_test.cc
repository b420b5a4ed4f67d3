// Checkerboard frames and videos: found by the library's corner search the way the intrinsic
// job searches them, with corners where the model puts them.
#include "tools/board_video.h"

#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "tests/support/test_support.h"
#include "tools/board_motion.h"
#include "tools/board_renderer.h"
#include "tools/camera_draw.h"
#include "tools/fisheye_lens.h"

namespace ringcalib::synth {
namespace {

const cv::Size kFullSize(3200, 2400);

// The search of the intrinsic job: invert, reduce by 3.2, search with flags 11, scale back and
// refine at full resolution. Empty when the board is not found.
std::vector<cv::Point2f> searchBoard(const cv::Mat& grey) {
  cv::Mat inverted = 255 - grey;
  cv::Mat reduced;
  cv::resize(inverted, reduced, cv::Size(static_cast<int>(grey.cols / 3.2), static_cast<int>(grey.rows / 3.2)), 0,
             0, cv::INTER_LINEAR);
  std::vector<cv::Point2f> corners;
  if (!cv::findChessboardCorners(reduced, cv::Size(kInnerCornersX, kInnerCornersY), corners, 11)) return {};
  for (cv::Point2f& p : corners) p *= 3.2f;
  cv::cornerSubPix(inverted, corners, cv::Size(15, 15), cv::Size(-1, -1),
                   cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 0.01));
  return corners;
}

// RMS distance from each found corner to the nearest exactly projected inner corner (the
// search may list the grid in any of its symmetric orders).
double cornerRmsError(const std::vector<cv::Point2f>& found, const FisheyeLens& lens, const BoardPose& pose) {
  std::vector<cv::Point2d> exact;
  for (const cv::Vec3d& corner : innerCorners(pose)) exact.push_back(lens.project(corner));
  double sum = 0.0;
  for (const cv::Point2f& p : found) {
    double best = 1e18;
    for (const cv::Point2d& q : exact) best = std::min(best, std::hypot(p.x - q.x, p.y - q.y));
    sum += best * best;
  }
  return std::sqrt(sum / static_cast<double>(found.size()));
}

TEST(BoardFrames, RenderingIsDeterministicAndFieldIsDarkAndUniform) {
  const CameraTruth truth = drawCamera(3, 0, 640, 480);
  const FisheyeLens lens(truth.K, truth.D);
  const BoardPose pose = boardPoseAt(3, 0, 10, 40);
  const BoardShading shading;
  const NoiseTile noise(3);
  const cv::Mat a = renderBoardFrame(lens, pose, cv::Size(640, 480), shading, noise, 77);
  const cv::Mat b = renderBoardFrame(lens, pose, cv::Size(640, 480), shading, noise, 77);
  EXPECT_EQ(cv::norm(a, b, cv::NORM_INF), 0.0);
  EXPECT_GT(cv::norm(a, renderBoardFrame(lens, pose, cv::Size(640, 480), shading, noise, 78), cv::NORM_INF), 0.0)
      << "another frame key gives other noise";

  // Far from the board only the field and its mild noise remain.
  const cv::Point2d centre = lens.project(pose.centre);
  const cv::Rect corner = centre.x < 320 ? cv::Rect(600, 0, 40, 40) : cv::Rect(0, 0, 40, 40);
  cv::Scalar mean, sigma;
  cv::meanStdDev(a(corner), mean, sigma);
  EXPECT_NEAR(mean[0], shading.dark, 0.5);
  EXPECT_NEAR(sigma[0], shading.noiseSigma, 0.5);
}

// The board stays away for the requested share of the frames, in at most three stretches that
// take in the first and the last frame as soon as two or more frames are without it.
TEST(BoardMotion, AbsenceCoversTheShareInStretchesAtStartAndEnd) {
  struct Case {
    int frameCount;
    double fraction;
    int absent, stretches;
  };
  for (const Case& c : {Case{128, 0.0, 0, 0}, {128, 0.33, 42, 3}, {96, 0.33, 32, 3}, {7, 3.0 / 7.0, 3, 3},
                        {10, 0.2, 2, 2}, {10, 0.1, 1, 1}, {5, 1.0, 5, 1}}) {
    auto away = [&](int f) { return boardAbsentAt(f, c.frameCount, c.fraction); };
    int absent = 0, stretches = 0;
    for (int f = 0; f < c.frameCount; ++f) {
      absent += away(f);
      stretches += away(f) && (f == 0 || !away(f - 1));
    }
    EXPECT_EQ(absent, c.absent) << c.frameCount << " frames, " << c.fraction;
    EXPECT_EQ(stretches, c.stretches) << c.frameCount << " frames, " << c.fraction;
    EXPECT_EQ(away(0), c.absent >= 1) << c.frameCount << " frames, " << c.fraction;
    EXPECT_EQ(away(c.frameCount - 1), c.absent >= 2) << c.frameCount << " frames, " << c.fraction;
  }
}

// Short videos spread their frames over the whole sweep, so a few frames see the board near
// the axis and far off it. Each frame is searched as the intrinsic job searches its sampled
// frames, after the codec. In the second video the board is away in frames 0, 3 and 6.
TEST(BoardVideo, ReadsBackAndMostFramesAreFoundWithExactCorners) {
  for (std::uint64_t seed = 1; seed <= 2; ++seed) {
    const int camera = static_cast<int>(seed) + 2;
    constexpr int frameCount = 7;
    const double absentFraction = seed == 2 ? 3.0 / frameCount : 0.0;
    test::TempDir dir;
    const std::string path = dir.file("origin_" + std::to_string(camera) + ".mp4");
    const CameraTruth truth = drawCamera(seed, camera, kFullSize.width, kFullSize.height);
    writeBoardVideo(path, truth, seed, camera, frameCount, kFullSize, absentFraction);

    cv::VideoCapture capture(path);
    ASSERT_TRUE(capture.isOpened());
    EXPECT_EQ(capture.get(cv::CAP_PROP_FRAME_COUNT), frameCount);
    const FisheyeLens lens(truth.K, truth.D);
    int frames = 0, present = 0, found = 0;
    for (cv::Mat frame; capture.read(frame); ++frames) {
      ASSERT_EQ(frame.size(), kFullSize);
      ASSERT_EQ(frame.channels(), 3);
      cv::Mat grey;
      cv::cvtColor(frame, grey, cv::COLOR_RGB2GRAY);
      if (boardAbsentAt(frames, frameCount, absentFraction)) {
        // The field alone, without any part of the board that a search could find.
        cv::Scalar mean, sigma;
        cv::meanStdDev(grey, mean, sigma);
        EXPECT_LT(sigma[0], 3.0) << "seed " << seed << " frame " << frames;
        continue;
      }
      ++present;
      const std::vector<cv::Point2f> corners = searchBoard(grey);
      if (corners.empty()) continue;
      ++found;
      EXPECT_LT(cornerRmsError(corners, lens, boardPoseAt(seed, camera, frames, frameCount)), 0.15)
          << "seed " << seed << " frame " << frames;
    }
    EXPECT_EQ(frames, frameCount);
    EXPECT_GE(found, present * 2 / 3) << "seed " << seed;
  }
}

TEST(BoardVideo, UnwritablePathIsReportedWithItsName) {
  const CameraTruth truth = drawCamera(1, 0, 320, 240);
  try {
    writeBoardVideo("/nonexistent-folder/origin_0.mp4", truth, 1, 0, 2, cv::Size(320, 240), 0.0);
    FAIL() << "expected an error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent-folder/origin_0.mp4"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace ringcalib::synth
