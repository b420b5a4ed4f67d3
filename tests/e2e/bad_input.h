#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "tests/support/test_support.h"

// Helpers of the end-to-end bad-input suite: tiny inputs, and a run of the real tool that
// also checks that the parameter file kept every byte it had before.
namespace ringcalib::test {

// A parameter file as an earlier intrinsic run leaves it: six usable cameras, version 1.
inline std::string intrinsicDocument(const std::string& camera0Matrix =
                                         R"({"w":24.0,"x":30.0,"y":30.0,"z":32.0})") {
  std::string text = "{";
  for (int n = 0; n < 6; ++n) {
    const std::string matrix = n == 0 ? camera0Matrix : R"({"w":24.0,"x":30.0,"y":30.0,"z":32.0})";
    text += "\"origin_" + std::to_string(n) + "\":{\"camera_matrix\":" + matrix +
            R"(,"distortion_factor":{"w":0.0,"x":0.0,"y":0.0,"z":0.0}},)";
  }
  return text + "\"version\":1}";
}

// Writes `frames` frames of one grey level; the FFmpeg writer's MPEG-4 part 2 codec keeps
// the files small and fast to decode.
inline void writeVideo(const std::string& path, int frames, cv::Size size, int grey = 0) {
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('m', 'p', '4', 'v'), 10.0,
                         size);
  ASSERT_TRUE(writer.isOpened()) << path;
  const cv::Mat frame(size, CV_8UC3, cv::Scalar::all(grey));
  for (int i = 0; i < frames; ++i) writer.write(frame);
}

// Runs the tool and expects `file` (when given) to hold the same bytes afterwards, or to be
// still absent.
inline RunResult runKeepingFile(const std::vector<std::string>& args, const std::string& file) {
  const bool existed = fileExists(file);
  const std::string before = existed ? readFileBytes(file) : std::string();
  RunResult run = runTool(args);
  EXPECT_EQ(fileExists(file), existed) << file;
  if (existed) {
    EXPECT_EQ(readFileBytes(file), before) << file;
  }
  return run;
}

inline bool hasLine(const std::string& out, const std::string& line) {
  return ("\n" + out).find("\n" + line + "\n") != std::string::npos;
}

}  // namespace ringcalib::test
