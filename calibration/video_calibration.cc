#include "calibration/video_calibration.h"

#include <algorithm>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "calibration/back_off.h"
#include "calibration/camera_examination.h"
#include "calibration/camera_records.h"
#include "calibration/camera_workers.h"
#include "core/gbk_text.h"
#include "core/job_guard.h"
#include "core/result_code.h"
#include "rig/file_writer.h"
#include "rig/ring.h"

using ringcalib::kSuccess;
namespace intrinsic = ringcalib::intrinsic;
namespace rig = ringcalib::rig;

namespace {


// Standard output stays in fixed-point notation from the first progress line on.
void printProgress(double value) {
  std::cout << std::fixed << "progress:" << value << std::endl;
}

// The progress of camera `camera` runs over its share P = scale / 6; the share is split
// evenly between the `videoCount` videos, and within video `video` the value grows with
// the frames read in proportion to the stated frame count, clamped to the video's end:
//   min(base + video * P / N + framesRead * (P / N) / frameCount, base + (video + 1) * P / N).
// Without a stated frame count (0) the formula's first value is 0 / 0, which would print
// as nan: it shows the start of the video's share instead. Every later value divides by
// zero to infinity, which the clamp turns into the end of the share.
double videoProgress(double scale, int camera, int video, int videoCount, int framesRead,
                     int frameCount) {
  const double share = scale / rig::kCameras;
  const double base = camera * scale / rig::kCameras;
  const double low = video * share;
  const double high = (video + 1) * share;
  if (frameCount <= 0) {
    return framesRead == 0 ? base + low / videoCount : base + high / videoCount;
  }
  return std::min(base + low / videoCount + framesRead * (share / videoCount) / frameCount,
                  base + high / videoCount);
}

// Copies a finished solve's part of the report into the camera's record.
void recordSolve(ringcalib::report::CameraReport& camera,
                 const ringcalib::report::CameraReport& solved) {
  if (!solved.intrinsic || !solved.intrinsic->solved) return;
  ringcalib::report::IntrinsicReport& intrinsic = *camera.intrinsic;
  intrinsic.solved = true;
  intrinsic.rmsError = solved.intrinsic->rmsError;
  intrinsic.viewRmsErrors = solved.intrinsic->viewRmsErrors;
  intrinsic.corners = solved.intrinsic->corners;
  camera.hasIntrinsics = solved.hasIntrinsics;
  camera.K = solved.K;
  camera.D = solved.D;
}

}  // namespace

int VideoCalibration::Calibrate(const std::vector<std::string>& videoPaths,
                                const std::string& file,
                                const InputParam::CalibrationType& type) {
  return ringcalib::runGuarded("intrinsic calibration",
                               [&] { return calibrate(videoPaths, file, type); });
}

int VideoCalibration::calibrate(const std::vector<std::string>& videoPaths,
                                const std::string& file,
                                const InputParam::CalibrationType& type) {
  // The file is checked, not truncated: a run that fails keeps the earlier calibration.
  if (ringcalib::checkFileWritable(file) != kSuccess) return ringcalib::kCannotOpen;
  const double scale = type == InputParam::ALL ? 0.9 : 1.0;
  document_.setVersion();
  lensCovariances_ = {};

  // The solves print into buffers formatted as standard output is after the first
  // progress line, and their lines are copied to it in camera order.
  std::ostringstream format;
  format.copyfmt(std::cout);
  format.setf(std::ios::fixed, std::ios::floatfield);

  intrinsic::SharedCameras shared(ringcalib::back_off::processCounter());
  shared.board = board_;
  intrinsic::CameraWorkers workers(videoPaths, shared, report_ != nullptr, format);
  for (int camera = 0; camera < rig::kCameras; ++camera) {
    const int code = commitCamera(camera, shared, videoPaths, scale, format);
    if (code != kSuccess) return code;
  }

  if (document_.write(file) != kSuccess) {
    std::cout << "Can not write camera parameter file : " << file << std::endl;
    return ringcalib::kCannotOpen;
  }
  return kSuccess;
}

int VideoCalibration::commitCamera(int camera, intrinsic::SharedCameras& shared,
                                   const std::vector<std::string>& videoPaths, double scale,
                                   const std::ostream& format) {
  ringcalib::report::IntrinsicReport* record = intrinsicRecord(camera);
  printVideoProgress(camera, shared, static_cast<int>(videoPaths.size()), scale);

  std::unique_lock<std::mutex> lock(shared.mutex);
  intrinsic::CameraRecord& examined = shared.cameras[camera];
  shared.changed.wait(lock, [&] { return examined.examined && !examined.solving; });
  // Every camera before this one has been committed, so its start is settled.
  const intrinsic::BackOffRun* run = intrinsic::runStartingWith(examined, shared.start[camera]);
  if (run == nullptr) {
    throw std::logic_error("the back-off of camera " + std::to_string(camera) + " is not settled");
  }
  ringcalib::back_off::processCounter() = run->counter;
  if (record != nullptr) {
    record->framesRead += examined.framesRead;
    record->framesSampled += examined.framesSampled;
    record->framesPassingCheapTest += run->cheapTestsPassed;
    record->viewsAccepted += static_cast<int>(run->views.size());
    if (examined.framesSampled > 0) record->frameSize = examined.imageSize;
  }
  switch (examined.stop) {
    case intrinsic::CameraStop::kNone:
      break;
    case intrinsic::CameraStop::kCannotOpen:
      std::cout << "Can not open video : "
                << intrinsic::videoPath(videoPaths[examined.videos.size() - 1], camera)
                << std::endl;
      return ringcalib::kCannotOpen;
    case intrinsic::CameraStop::kFrameSize:
      std::cout << intrinsic::videoPath(videoPaths[examined.videos.size() - 1], camera)
                << " has frames of " << examined.frameSize.width << "x"
                << examined.frameSize.height << ", earlier frames of camera " << camera
                << " are " << examined.imageSize.width << "x" << examined.imageSize.height
                << std::endl;
      return ringcalib::kComputationFailed;
    case intrinsic::CameraStop::kError:
      std::rethrow_exception(examined.error);
  }

  std::optional<intrinsic::CameraSolve> solve = std::move(examined.solve);
  std::vector<std::vector<cv::Point2f>> views;
  if (!solve) {
    views = run->views;
    examined.solveTaken = true;  // no waiting worker takes it now
  }
  const cv::Size imageSize = examined.imageSize;
  // Not one view in frames that were read: most likely another board than the one given
  // (--board). Without the option the run prints what it always printed.
  const bool boardNeverFound = boardGiven_ && run->views.empty() && examined.framesSampled > 0;
  lock.unlock();
  if (!solve) {
    solve = intrinsic::solveCamera(*this, camera, std::move(views), imageSize, shared.board,
                                   format, record != nullptr);
  }

  if (record != nullptr) record->cornersKept += solve->cornersKept;
  if (solve->tooFewViews) {
    std::cout << ringcalib::gbk::kTooFewBoardImages << std::endl;
    std::cout << ringcalib::gbk::kRecordSlowly << std::endl;
    if (boardNeverFound) {
      std::cout << "camera " << camera << ": no board of " << shared.board.width << "x"
                << shared.board.height << " inner corners was found in its videos"
                << std::endl;
    }
    return ringcalib::kTooFewViews;
  }
  std::cout << solve->output << std::flush;
  if (record != nullptr) recordSolve(report_->camera(camera), solve->record);
  if (solve->code != kSuccess) return solve->code;
  const int code = writeCameraParams(solve->K, solve->D, camera, imageSize);
  if (code != kSuccess) return code;
  lensCovariances_[camera] = solve->covariance;
  printProgress((camera + 1) * (scale / rig::kCameras));
  return kSuccess;
}

void VideoCalibration::printVideoProgress(int camera, intrinsic::SharedCameras& shared,
                                          int videoCount, double scale) {
  const intrinsic::CameraRecord& record = shared.cameras[camera];
  std::unique_lock<std::mutex> lock(shared.mutex);
  for (int video = 0; video < videoCount; ++video) {
    for (int printed = 0;;) {
      shared.changed.wait(lock, [&] {
        return record.examined || (static_cast<int>(record.videos.size()) > video &&
                                   record.videos[video].attempts > printed);
      });
      if (static_cast<int>(record.videos.size()) <= video) return;  // stopped before it
      const intrinsic::VideoRecord current = record.videos[video];
      lock.unlock();
      for (; printed < current.attempts; ++printed) {
        printProgress(
            videoProgress(scale, camera, video, videoCount, printed, current.frameCount));
      }
      lock.lock();
      if (current.ended) break;
      // Examined with no attempt left to print: the camera stopped in this video.
      if (record.examined && record.videos[video].attempts == printed) return;
    }
  }
}

ringcalib::report::IntrinsicReport* VideoCalibration::intrinsicRecord(int camera) {
  if (report_ == nullptr) return nullptr;
  ringcalib::report::CameraReport& record = report_->camera(camera);
  if (!record.intrinsic) record.intrinsic.emplace();
  return &*record.intrinsic;
}

int VideoCalibration::writeCameraParams(const cv::Matx33d& K, const cv::Vec4d& D, const int& id,
                                        cv::Size frameSize) {
  try {
    document_.setCamera(id, {K, D, frameSize});
  } catch (const std::exception& e) {
    std::cout << "write intrinsic param failed : " << e.what() << std::endl;
    return ringcalib::kCannotStoreValue;
  }
  return kSuccess;
}
