#include "calibration/intrinsic/frame_reader.h"

#include <sys/stat.h>

#include <limits>
#include <utility>

namespace ringcalib {
namespace {

bool isRegularFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

FrameReader::FrameReader(const std::string& path, int sampleEvery)
    : capture_(path, cv::CAP_FFMPEG), sampleEvery_(sampleEvery) {
  // FFmpeg first: it reads every container the rigs record, and the other back ends print
  // warnings of their own while they probe. A file only another back end of the installed
  // library can read still opens; a path that names no file is not worth their warnings.
  if (!capture_.isOpened() && isRegularFile(path)) capture_.open(path, cv::CAP_ANY);
  if (capture_.isOpened()) {
    codedSize_ = cv::Size(static_cast<int>(capture_.get(cv::CAP_PROP_FRAME_WIDTH)),
                          static_cast<int>(capture_.get(cv::CAP_PROP_FRAME_HEIGHT)));
  }
}

FrameReader::~FrameReader() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

int FrameReader::frameCount() const {
  // Containers without an index report 0, a negative or a huge number, none of which can
  // be truncated to an int safely.
  const double count = capture_.get(cv::CAP_PROP_FRAME_COUNT);
  if (!(count >= 0.0 && count <= std::numeric_limits<int>::max())) return 0;
  return static_cast<int>(count);
}

void FrameReader::start(bool firstSamplePixels) {
  decideNextSample(firstSamplePixels);
  thread_ = std::thread([this] { decode(); });
}

void FrameReader::decideNextSample(bool pixels) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    decisions_.push_back(pixels);
  }
  changed_.notify_all();
}

VideoFrame FrameReader::next() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !frames_.empty(); });
  VideoFrame frame = std::move(frames_.front());
  frames_.pop_front();
  if (frame.end && error_) std::rethrow_exception(error_);
  return frame;
}

bool FrameReader::waitForDecision(bool& pixels) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return stopping_ || !decisions_.empty(); });
  if (stopping_) return false;
  pixels = decisions_.front();
  decisions_.pop_front();
  return true;
}

void FrameReader::hand(VideoFrame frame) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.push_back(std::move(frame));
  }
  changed_.notify_all();
}

void FrameReader::decode() {
  try {
    for (long read = 1;; ++read) {
      if (!capture_.grab()) break;
      VideoFrame frame;
      frame.end = false;
      if (read % sampleEvery_ == 0) {
        frame.sample = true;
        bool pixels = false;
        if (!waitForDecision(pixels)) return;
        if (pixels) {
          // A frame that decodes but cannot be converted ends the video, as a failed read.
          if (!capture_.retrieve(frame.pixels) || frame.pixels.empty()) break;
          frame.size = frame.pixels.size();
        } else {
          frame.size = codedSize_;
        }
      }
      hand(std::move(frame));
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = std::current_exception();
  }
  hand(VideoFrame());
}

}  // namespace ringcalib
