#include "calibration/intrinsic/camera_examination.h"

#include <algorithm>
#include <optional>

#include "calibration/intrinsic/back_off.h"
#include "calibration/intrinsic/frame_reader.h"
#include "calibration/intrinsic/second_look.h"

namespace ringcalib::intrinsic {
namespace {

// Every back-off counter value a camera can start with.
constexpr int kCounterValues = 5;

bool anyTestsNext(const std::vector<BackOffRun>& runs) {
  return std::any_of(runs.begin(), runs.end(),
                     [](const BackOffRun& run) { return back_off::testsNext(run.counter); });
}

}  // namespace

std::string videoPath(const std::string& folder, int camera) {
  return folder + "/origin_" + std::to_string(camera) + ".mp4";
}

CameraExaminer::CameraExaminer(const std::vector<std::string>& folders, SharedCameras& shared,
                               bool reporting, const std::ostream& format)
    : folders_(folders), shared_(shared), reporting_(reporting), format_(format) {}

void CameraExaminer::examine(int camera) {
  if (camera > shared_.lastNeeded) return;
  std::vector<BackOffRun> runs = startingRuns(camera);
  cv::Size imageSize;
  int framesRead = 0;
  int framesSampled = 0;
  try {
    for (int video = 0; video < static_cast<int>(folders_.size()); ++video) {
      if (!examineVideo(camera, video, runs, imageSize, framesRead, framesSampled)) break;
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(shared_.mutex);
    shared_.cameras[camera].stop = CameraStop::kError;
    shared_.cameras[camera].error = std::current_exception();
  }
  CameraViews views;
  bool solving = false;
  {
    std::lock_guard<std::mutex> lock(shared_.mutex);
    // The job stopped before this camera: nobody reads its record.
    if (camera > shared_.lastNeeded) return;
    CameraRecord& record = shared_.cameras[camera];
    record.imageSize = imageSize;
    record.framesRead = framesRead;
    record.framesSampled = framesSampled;
    record.runs = std::move(runs);
    record.examined = true;
    // The job ends at this camera: later cameras are not needed.
    if (record.stop != CameraStop::kNone) shared_.lastNeeded = camera;
    shared_.settleStarts();
    solving = settledViews(record, shared_.start[camera], views);
    record.solving = solving;
    record.solveTaken = solving;
  }
  shared_.changed.notify_all();
  if (solving) solve(camera, std::move(views), imageSize);
}

bool CameraExaminer::solveWaitingCamera() {
  std::unique_lock<std::mutex> lock(shared_.mutex);
  for (;;) {
    bool mayNeedSolve = false;
    for (int camera = 0; camera <= shared_.lastNeeded; ++camera) {
      CameraRecord& record = shared_.cameras[camera];
      if (record.examined && (record.stop != CameraStop::kNone || record.solveTaken)) continue;
      mayNeedSolve = true;
      CameraViews views;
      if (!record.examined || !settledViews(record, shared_.start[camera], views)) continue;
      record.solving = true;
      record.solveTaken = true;
      const cv::Size imageSize = record.imageSize;
      lock.unlock();
      solve(camera, std::move(views), imageSize);
      return true;
    }
    if (!mayNeedSolve) return false;
    shared_.changed.wait(lock);
  }
}

bool CameraExaminer::examineVideo(int camera, int video, std::vector<BackOffRun>& runs,
                                  cv::Size& imageSize, int& framesRead, int& framesSampled) {
  FrameReader reader(videoPath(folders_[video], camera), kSampleEvery);
  {
    std::lock_guard<std::mutex> lock(shared_.mutex);
    VideoRecord opened;
    opened.opened = reader.isOpened();
    if (opened.opened) opened.frameCount = reader.frameCount();
    shared_.cameras[camera].videos.push_back(opened);
    if (!opened.opened) shared_.cameras[camera].stop = CameraStop::kCannotOpen;
  }
  shared_.changed.notify_all();
  if (!reader.isOpened()) return false;

  reader.start(anyTestsNext(runs));
  for (;;) {
    // The job stopped before this camera: its frames are of no use.
    if (camera > shared_.lastNeeded) return false;
    const VideoFrame frame = reader.next();
    publishAttempt(camera, video, frame.end);
    if (frame.end) return true;
    ++framesRead;
    if (!frame.sample) continue;
    // One camera matrix describes one frame size: views of another size would be solved
    // together with the wrong principal point and focal scale.
    if (imageSize.area() > 0 && frame.size != imageSize) {
      stop(camera, CameraStop::kFrameSize, frame.size);
      return false;
    }
    imageSize = frame.size;
    dropOtherRuns(camera, runs);
    examineSample(frame, runs);
    ++framesSampled;
    reader.decideNextSample(anyTestsNext(runs));
  }
}

void CameraExaminer::examineSample(const VideoFrame& frame, std::vector<BackOffRun>& runs) {
  std::vector<cv::Point2f> corners;
  SampleOutcome outcome = SampleOutcome::kNotSeen;
  if (anyTestsNext(runs)) outcome = detector_.examineSample(frame.pixels, shared_.board, corners);
  const bool boardSeen = outcome != SampleOutcome::kNotSeen;
  for (BackOffRun& run : runs) {
    if (back_off::testsNext(run.counter)) {
      if (boardSeen) {
        ++run.cheapTestsPassed;
        run.polarity = detector_.lastPolarity();
      }
      if (outcome == SampleOutcome::kAccepted) run.views.push_back(corners);
      if (outcome == SampleOutcome::kRejected) run.rejectedViews.push_back(corners);
    }
    run.counter = back_off::after(run.counter, boardSeen);
  }
}

void CameraExaminer::publishAttempt(int camera, int video, bool end) {
  {
    std::lock_guard<std::mutex> lock(shared_.mutex);
    VideoRecord& record = shared_.cameras[camera].videos[video];
    ++record.attempts;
    record.ended = end;
  }
  shared_.changed.notify_all();
}

void CameraExaminer::stop(int camera, CameraStop why, cv::Size frameSize) {
  std::lock_guard<std::mutex> lock(shared_.mutex);
  shared_.cameras[camera].stop = why;
  shared_.cameras[camera].frameSize = frameSize;
}

std::vector<BackOffRun> CameraExaminer::startingRuns(int camera) const {
  const int known = shared_.start[camera];
  std::vector<BackOffRun> runs;
  for (int start = 0; start < kCounterValues; ++start) {
    if (known != kUnknownCounter && start != known) continue;
    BackOffRun run;
    run.start = start;
    run.counter = start;
    runs.push_back(run);
  }
  return runs;
}

void CameraExaminer::dropOtherRuns(int camera, std::vector<BackOffRun>& runs) const {
  const int known = shared_.start[camera];
  if (known == kUnknownCounter || runs.size() == 1) return;
  runs.erase(std::remove_if(runs.begin(), runs.end(),
                            [&](const BackOffRun& run) { return run.start != known; }),
             runs.end());
}

bool CameraExaminer::settledViews(const CameraRecord& record, int start, CameraViews& views) {
  if (record.stop != CameraStop::kNone || record.runs.empty()) return false;
  if (const BackOffRun* run = runStartingWith(record, start)) {
    views = viewsOf(*run);
    return true;
  }
  const BackOffRun& first = record.runs.front();
  if (!std::all_of(record.runs.begin(), record.runs.end(), [&](const BackOffRun& run) {
        return run.views == first.views && run.rejectedViews == first.rejectedViews &&
               run.polarity == first.polarity;
      })) {
    return false;  // the printing thread solves the views of the run it finds true
  }
  views = viewsOf(first);
  return true;
}

void CameraExaminer::solve(int camera, CameraViews views, cv::Size imageSize) {
  std::optional<CameraSolve> solved;
  try {
    solved = solveLookingAgain(camera, std::move(views), imageSize, {folders_, shared_.board}, format_, reporting_);
  } catch (...) {
    // Left to the printing thread, which solves again and reports the error in its place.
  }
  {
    std::lock_guard<std::mutex> lock(shared_.mutex);
    shared_.cameras[camera].solve = std::move(solved);
    shared_.cameras[camera].solving = false;
  }
  shared_.changed.notify_all();
}

}  // namespace ringcalib::intrinsic
