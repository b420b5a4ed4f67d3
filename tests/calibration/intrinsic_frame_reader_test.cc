#include <gtest/gtest.h>
#include <opencv2/videoio.hpp>

#include "calibration/frame_reader.h"
#include "tests/support/test_support.h"

namespace {

using ringcalib::FrameReader;
using ringcalib::VideoFrame;

// Frame i of the video is uniformly grey at 13 * i, so its number can be read back.
std::string writeNumberedVideo(const ringcalib::test::TempDir& dir, int frames) {
  const std::string path = dir.file("numbered.mp4");
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('m', 'p', '4', 'v'), 25.0,
                         cv::Size(96, 64));
  for (int i = 0; i < frames; ++i) writer << cv::Mat(64, 96, CV_8UC3, cv::Scalar::all(13 * i));
  return path;
}

TEST(FrameReader, HandsOverEveryFrameInOrderWithPixelsOnlyForSamplesAskedFor) {
  ringcalib::test::TempDir dir;
  FrameReader reader(writeNumberedVideo(dir, 19), 4);
  ASSERT_TRUE(reader.isOpened());
  EXPECT_EQ(reader.frameCount(), 19);
  // Samples are the 4th, 8th, 12th and 16th frame; ask for the pixels of the 1st and 3rd.
  const std::vector<bool> wanted = {true, false, true, false};
  reader.start(wanted[0]);
  int frames = 0;
  int samples = 0;
  for (VideoFrame frame = reader.next(); !frame.end; frame = reader.next()) {
    ++frames;
    EXPECT_EQ(frame.sample, frames % 4 == 0) << frames;
    if (!frame.sample) {
      EXPECT_TRUE(frame.pixels.empty());
      continue;
    }
    EXPECT_EQ(frame.size, cv::Size(96, 64));
    if (wanted[samples]) {
      ASSERT_EQ(frame.pixels.size(), cv::Size(96, 64));
      EXPECT_NEAR(frame.pixels.at<cv::Vec3b>(32, 48)[0], 13 * (frames - 1), 6) << frames;
    } else {
      EXPECT_TRUE(frame.pixels.empty());
    }
    ++samples;
    reader.decideNextSample(samples < 4 && wanted[samples]);
  }
  EXPECT_EQ(frames, 19);
  EXPECT_EQ(samples, 4);
}

TEST(FrameReader, StopsCleanlyWhenLeftEarly) {
  ringcalib::test::TempDir dir;
  const std::string path = writeNumberedVideo(dir, 12);
  {
    FrameReader reader(path, 4);
    reader.start(true);
    EXPECT_FALSE(reader.next().end);
  }  // the decoding thread waits for a decision that never comes; leaving must not hang
  FrameReader missing(dir.file("none.mp4"), 4);
  EXPECT_FALSE(missing.isOpened());
}

}  // namespace
