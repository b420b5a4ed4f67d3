// The intrinsic job's printing thread, one camera at a time.
#include "calibration/intrinsic/camera_output.h"

#include <algorithm>
#include <iostream>
#include <stdexcept>

#include "calibration/intrinsic/back_off.h"
#include "calibration/intrinsic/camera_examination.h"
#include "calibration/intrinsic/second_look.h"
#include "core/gbk_text.h"
#include "core/result_code.h"
#include "rig/ring.h"

namespace ringcalib::intrinsic {

namespace {

// The progress of camera `camera` runs over its share P = scale / N; the share is split
// evenly between the `videoCount` videos, and within video `video` the value grows with
// the frames read in proportion to the stated frame count, clamped to the video's end:
//   min(base + video * P / N + framesRead * (P / N) / frameCount, base + (video + 1) * P / N).
// Without a stated frame count (0) the formula's first value is 0 / 0, which would print
// as nan: it shows the start of the video's share instead. Every later value divides by
// zero to infinity, which the clamp turns into the end of the share.
double videoProgress(double scale, int cameras, int camera, int video, int videoCount, int framesRead,
                     int frameCount) {
  const double share = scale / cameras;
  const double base = camera * scale / cameras;
  const double low = video * share;
  const double high = (video + 1) * share;
  if (frameCount <= 0) {
    return framesRead == 0 ? base + low / videoCount : base + high / videoCount;
  }
  return std::min(base + low / videoCount + framesRead * (share / videoCount) / frameCount,
                  base + high / videoCount);
}

// Copies a finished solve's part of the report into the camera's record.
void recordSolve(report::CameraReport& camera,
                 const report::CameraReport& solved) {
  if (!solved.intrinsic || !solved.intrinsic->solved) return;
  report::IntrinsicReport& intrinsic = *camera.intrinsic;
  intrinsic.solved = true;
  intrinsic.rmsError = solved.intrinsic->rmsError;
  intrinsic.viewRmsErrors = solved.intrinsic->viewRmsErrors;
  intrinsic.corners = solved.intrinsic->corners;
  intrinsic.field = solved.intrinsic->field;
  camera.hasIntrinsics = solved.hasIntrinsics;
  camera.K = solved.K;
  camera.D = solved.D;
}

// Camera `camera`'s intrinsic record of the report, or null without a report.
report::IntrinsicReport* intrinsicRecord(report::CalibrationReport* report, int camera) {
  if (report == nullptr) return nullptr;
  report::CameraReport& record = report->camera(camera);
  if (!record.intrinsic) record.intrinsic.emplace();
  return &*record.intrinsic;
}

// Prints the progress lines of camera `camera`'s videos as their read attempts come in, up
// to the end of its last video or the attempt at which its examination stopped.
void printVideoProgress(int camera, SharedCameras& shared, int videoCount, double scale) {
  const CameraRecord& record = shared.cameras[camera];
  std::unique_lock<std::mutex> lock(shared.mutex);
  for (int video = 0; video < videoCount; ++video) {
    for (int printed = 0;;) {
      shared.changed.wait(lock, [&] {
        return record.examined || (static_cast<int>(record.videos.size()) > video &&
                                   record.videos[video].attempts > printed);
      });
      if (static_cast<int>(record.videos.size()) <= video) return;  // stopped before it
      const VideoRecord current = record.videos[video];
      lock.unlock();
      for (; printed < current.attempts; ++printed) {
        printProgress(
            videoProgress(scale, static_cast<int>(shared.cameras.size()), camera, video, videoCount, printed,
                          current.frameCount));
      }
      lock.lock();
      if (current.ended) break;
      // Examined with no attempt left to print: the camera stopped in this video.
      if (record.examined && record.videos[video].attempts == printed) return;
    }
  }
}

}  // namespace

void printProgress(double value) {
  std::cout << std::fixed << "progress:" << value << std::endl;
}

Result<SolvedCamera> takeCamera(int camera, SharedCameras& shared, const CameraPrinting& printing) {
  using Failure = Result<SolvedCamera>;
  const std::vector<std::string>& videoPaths = printing.videoPaths;
  report::IntrinsicReport* record = intrinsicRecord(printing.report, camera);
  printVideoProgress(camera, shared, static_cast<int>(videoPaths.size()), printing.scale);

  std::unique_lock<std::mutex> lock(shared.mutex);
  CameraRecord& examined = shared.cameras[camera];
  shared.changed.wait(lock, [&] { return examined.examined && !examined.solving; });
  // Every camera before this one has been taken, so its start is settled.
  const BackOffRun* run = runStartingWith(examined, shared.start[camera]);
  if (run == nullptr) {
    throw std::logic_error("the back-off of camera " + std::to_string(camera) + " is not settled");
  }
  back_off::processCounter() = run->counter;
  if (record != nullptr) {
    record->framesRead += examined.framesRead;
    record->framesSampled += examined.framesSampled;
    record->framesPassingCheapTest += run->cheapTestsPassed;
    record->viewsAccepted += static_cast<int>(run->views.size());
    if (examined.framesSampled > 0) record->frameSize = examined.imageSize;
  }
  switch (examined.stop) {
    case CameraStop::kNone:
      break;
    case CameraStop::kCannotOpen:
      std::cout << "Can not open video : "
                << videoPath(videoPaths[examined.videos.size() - 1], camera)
                << std::endl;
      return Failure::failure(kCannotOpen);
    case CameraStop::kFrameSize:
      std::cout << videoPath(videoPaths[examined.videos.size() - 1], camera)
                << " has frames of " << examined.frameSize.width << "x"
                << examined.frameSize.height << ", earlier frames of camera " << camera
                << " are " << examined.imageSize.width << "x" << examined.imageSize.height
                << std::endl;
      return Failure::failure(kComputationFailed);
    case CameraStop::kError:
      std::rethrow_exception(examined.error);
  }

  std::optional<CameraSolve> solve = std::move(examined.solve);
  CameraViews views;
  if (!solve) {
    views = viewsOf(*run);
    examined.solveTaken = true;  // no waiting worker takes it now
  }
  const cv::Size imageSize = examined.imageSize;
  // Not one board found in frames that were read: most likely another board than the one
  // given (--board). Without the option the run prints what it always printed.
  const bool boardNeverFound = printing.boardGiven && run->views.empty() && run->rejectedViews.empty() &&
                               examined.framesSampled > 0;
  lock.unlock();
  if (!solve) {
    solve = solveLookingAgain(camera, std::move(views), imageSize, {printing.videoPaths, shared.board},
                              printing.format, record != nullptr);
  }

  if (record != nullptr) {
    record->cornersKept += solve->cornersKept;
    record->viewsAccepted += solve->moreViewsAccepted;
  }
  if (solve->tooFewViews) {
    std::cout << gbk::kTooFewBoardImages << std::endl;
    std::cout << gbk::kRecordSlowly << std::endl;
    if (boardNeverFound) {
      std::cout << "camera " << camera << ": no board of " << shared.board.width << "x"
                << shared.board.height << " inner corners was found in its videos"
                << std::endl;
    }
    return Failure::failure(kTooFewViews);
  }
  std::cout << solve->output << std::flush;
  if (record != nullptr) recordSolve(printing.report->camera(camera), solve->record);
  if (solve->code != kSuccess) return Failure::failure(solve->code);
  return SolvedCamera{*solve->solution, imageSize};
}

}  // namespace ringcalib::intrinsic
