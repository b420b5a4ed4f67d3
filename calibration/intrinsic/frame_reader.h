#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

namespace ringcalib {

// One frame handed over by FrameReader.
struct VideoFrame {
  bool end = true;      // no frame: the video has ended or could not be read further
  bool sample = false;  // every n-th frame read is a sample
  cv::Mat pixels;       // the colour frame, for the samples whose pixels were asked for
  cv::Size size;        // samples: the frame's columns and rows
};

// Decodes a video on a thread of its own, ahead of the consumer, and hands the frames over
// in order. Every frame is decoded, but only samples whose pixels the consumer asks for are
// converted to colour (grab without retrieve for all others). Because the consumer decides
// about a sample only after it has looked at the previous one, the reader waits at each
// sample for that decision, so it stays at most one sample ahead.
class FrameReader {
 public:
  FrameReader(const std::string& path, int sampleEvery);
  ~FrameReader();
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  bool isOpened() const { return capture_.isOpened(); }

  // The frame count the container states, truncated; 0 when it is not known.
  int frameCount() const;

  // Starts decoding; `firstSamplePixels` tells whether the first sample's pixels are needed.
  void start(bool firstSamplePixels);

  // Whether the pixels of the sample after the last one handed over are needed. Called
  // once for every sample received, before waiting for more frames.
  void decideNextSample(bool pixels);

  // The next frame in order; waits for it. Rethrows an error of the decoding thread.
  VideoFrame next();

 private:
  void decode();
  bool waitForDecision(bool& pixels);  // false when the reader is being stopped
  void hand(VideoFrame frame);

  cv::VideoCapture capture_;
  const int sampleEvery_;
  cv::Size codedSize_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<VideoFrame> frames_;
  std::deque<bool> decisions_;
  bool stopping_ = false;
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace ringcalib
