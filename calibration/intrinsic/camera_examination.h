#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "calibration/intrinsic/board_detection.h"
#include "calibration/intrinsic/camera_records.h"

namespace ringcalib {
class FrameReader;
struct VideoFrame;
}  // namespace ringcalib

namespace ringcalib::intrinsic {

// Successive frames of a slowly turning camera are nearly alike: every fourth is examined.
constexpr int kSampleEvery = 4;

// Examines cameras for the intrinsic job on one worker thread: reads each of the camera's
// videos, publishes every read attempt (the printing thread turns it into a progress line)
// and examines the sampled frames that the back-off lets through.
//
// A camera may be examined before the back-off counter it starts with is known, when the
// camera ahead of it is still being read. Its samples are then examined for every counter
// value it may start with (0 to 4) at once: each run follows the back-off from one start
// value, and a sample is examined once for all runs that test it. A test's outcome depends
// on the frame alone, and after a test the counter depends on its outcome alone, so runs
// that test the same sample go on together from there: mostly they meet within the first
// samples on which the board is seen. Once the start becomes known, the other runs are
// dropped. When the camera's views are the same for every run still possible, the worker
// solves them as well.
class CameraExaminer {
 public:
  CameraExaminer(const std::vector<std::string>& folders, SharedCameras& shared,
                 bool reporting, const std::ostream& format);

  void examine(int camera);

  // For a worker with no camera left to examine: waits for an examined camera whose views
  // waited for its start, and solves it once the start is settled. False when no camera
  // can need that any more, or the job stopped.
  bool solveWaitingCamera();

 private:
  // Reads one video; false when the camera's examination stops in it.
  bool examineVideo(int camera, int video, std::vector<BackOffRun>& runs, cv::Size& imageSize,
                    int& framesRead, int& framesSampled);
  void examineSample(const VideoFrame& frame, std::vector<BackOffRun>& runs);
  void publishAttempt(int camera, int video, bool end);
  void stop(int camera, CameraStop why, cv::Size frameSize);
  // The runs to examine the camera with: one when its start is known, else one per value.
  std::vector<BackOffRun> startingRuns(int camera) const;
  // Drops the runs of other start values once the camera's start is known.
  void dropOtherRuns(int camera, std::vector<BackOffRun>& runs) const;
  // The views to solve when they no longer depend on the camera's start: those of the run
  // of `start`, or those every run found. False when they still depend on it.
  static bool settledViews(const CameraRecord& record, int start, CameraViews& views);
  void solve(int camera, CameraViews views, cv::Size imageSize);

  const std::vector<std::string>& folders_;
  SharedCameras& shared_;
  const bool reporting_;
  const std::ostream& format_;
  BoardDetector detector_;  // this worker's working images
};

// The path of camera `camera`'s video in `folder`.
std::string videoPath(const std::string& folder, int camera);

}  // namespace ringcalib::intrinsic
