#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "calibration/intrinsic/board_detection.h"
#include "calibration/intrinsic/fisheye_solve.h"
#include "report/report_data.h"
#include "rig/lens_covariance.h"
#include "rig/ring.h"

// What the workers of the intrinsic job learn about the cameras, and what the thread that
// prints the job's output reads from them.
namespace ringcalib::intrinsic {

// A back-off counter that depends on work not done yet.
constexpr int kUnknownCounter = -1;

// One possible course of the cheap test's back-off through a camera's sampled frames, from
// one counter value at the camera's first sample.
struct BackOffRun {
  int start = 0;             // the counter met by the camera's first sample
  int counter = 0;           // the counter after the samples met so far
  int cheapTestsPassed = 0;  // tested samples in which the cheap test saw a board
  std::vector<std::vector<cv::Point2f>> views;  // corners of the accepted samples, in order
  // Corners of the samples whose whole board was found but failed the contrast or
  // straightness test, in order: boards near the rim of a wide lens are blurred and curved.
  std::vector<std::vector<cv::Point2f>> rejectedViews;
  // How the boards the cheap test saw are printed; none seen, none known.
  std::optional<BoardPolarity> polarity;
};

// The views of a camera that its solve may use: those the detection accepted, and those whose
// board it found but whose corners failed its tests.
struct CameraViews {
  std::vector<std::vector<cv::Point2f>> accepted;
  std::vector<std::vector<cv::Point2f>> rejected;
  std::optional<BoardPolarity> polarity;  // of the boards seen, for a second look
};

// The views of one run.
inline CameraViews viewsOf(const BackOffRun& run) { return {run.views, run.rejectedViews, run.polarity}; }

// One video of a camera, as far as it has been read.
struct VideoRecord {
  bool opened = false;
  int frameCount = 0;   // as the container states it; 0 when it does not
  int attempts = 0;     // read attempts handled; each prints one progress line
  bool ended = false;   // the last attempt found no frame
};

// Where the examination of a camera stopped early; the job stops at the same point.
enum class CameraStop {
  kNone,
  kCannotOpen,  // the last video record could not be opened
  kFrameSize,   // the last attempt read a sample of another size than the earlier ones
  kError,       // an exception, after the last attempt
};

// The corner selection, view count and fisheye solve of a camera's views.
struct CameraSolve {
  bool tooFewViews = false;
  int code = 0;            // the solve's result code
  std::string output;      // the lines the solve printed
  std::optional<FisheyeSolution> solution;  // when the solve succeeded
  int cornersKept = 0;     // corners the solve was given, all views
  int moreViewsAccepted = 0;  // views a second look accepted beyond those of the first
  report::CameraReport record;  // the solve's part of the report, when one is kept
};

struct CameraRecord {
  std::vector<VideoRecord> videos;  // one per video folder reached, in order
  CameraStop stop = CameraStop::kNone;
  std::exception_ptr error;         // kError
  cv::Size frameSize;               // kFrameSize: the odd sample's size
  // Set once `examined`:
  bool examined = false;
  cv::Size imageSize;               // the size of the last sample met (before a kFrameSize)
  int framesRead = 0;
  int framesSampled = 0;            // samples whose back-off decision was taken
  std::vector<BackOffRun> runs;     // the courses still possible, one per start value
  // The worker solves the views itself when they are the same for every run still
  // possible; `solving` is decided together with `examined`, so the views are solved once.
  // Otherwise a worker with no camera left takes the solve once the start is settled, or
  // the printing thread does when it gets there first. `solveTaken` is set by whoever
  // takes it, so nobody solves the views twice.
  bool solving = false;
  bool solveTaken = false;
  std::optional<CameraSolve> solve;
};

// The state that the workers and the printing thread share. The records are read and
// written under `mutex`; `changed` is notified after every change.
struct SharedCameras {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<CameraRecord> cameras;

  // The back-off counter met by each camera's first sample (the last index: after the last
  // camera), kUnknownCounter until the cameras before it tell it. Read without the lock by
  // the workers, to drop the runs of other start values as early as possible.
  std::vector<std::atomic<int>> start;

  // No camera after this one is needed any more: the job stops at or before it.
  std::atomic<int> lastNeeded;
  // The board's inner corners that the cameras' frames are searched for.
  cv::Size board{9, 12};

  // The ring's `cameras`, the first met by the process' back-off counter.
  SharedCameras(int cameras, int processCounter);

  // Settles the start counters that the examined cameras now tell: a camera's end counter
  // is known when its own start is, or when every run of it ends with the same counter.
  // Call with `mutex` held.
  void settleStarts();
};

// The run of `record` that starts with `start`, or null when it was dropped.
const BackOffRun* runStartingWith(const CameraRecord& record, int start);

}  // namespace ringcalib::intrinsic
