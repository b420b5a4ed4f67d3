// A second look at a camera whose first look leaves it without a model.
#include "calibration/intrinsic/second_look.h"

#include <algorithm>

#include "calibration/intrinsic/camera_examination.h"
#include "calibration/intrinsic/field_solve.h"
#include "calibration/intrinsic/frame_reader.h"
#include "calibration/intrinsic/frame_scale.h"

namespace ringcalib::intrinsic {
namespace {

// The full-size search costs what the reduced one does times the reduction squared, and far
// more where it fails: a board of another size than the one given, or one searched the wrong
// way, takes 0.6-0.8 s to fail at 1920 x 1080 and 55 s at 3200 x 2400. So the second look is
// for frames reduced by at most this (up to 2000 x 1500, the small lenses' sizes), ...
constexpr double kMaxSecondLookReduction = 2.0;

// ... and while no board has told the polarity, it ends after this many samples without one:
// a camera whose boards are all lost in the reduced copy shows one within its first few.
constexpr int kBlindSamples = 8;

}  // namespace

std::vector<std::optional<cv::Matx33d>> solveStarts(cv::Size imageSize) {
  // The library's own start, then shorter focal lengths in shares of its max(width, height) / pi.
  std::vector<std::optional<cv::Matx33d>> starts{std::nullopt};
  for (const double share : {0.75, 0.5625}) {
    const double focal = share * std::max(imageSize.width, imageSize.height) / CV_PI;
    starts.push_back(cv::Matx33d(focal, 0.0, (imageSize.width - 1) / 2.0, 0.0, focal, (imageSize.height - 1) / 2.0,
                                 0.0, 0.0, 1.0));
  }
  return starts;
}

CameraViews lookAgain(const CameraVideos& videos, int camera, std::optional<BoardPolarity> polarity) {
  CameraViews views;
  BoardDetector detector;
  int blindSamples = 0;
  for (const std::string& folder : videos.folders) {
    FrameReader reader(videoPath(folder, camera), kSampleEvery);
    if (!reader.isOpened()) break;
    reader.start(true);
    for (VideoFrame frame = reader.next(); !frame.end; frame = reader.next()) {
      if (!frame.sample) continue;
      if (!polarity && blindSamples++ == kBlindSamples) return views;
      std::vector<cv::Point2f> corners;
      const SampleOutcome outcome = detector.lookAgain(frame.pixels, videos.board, polarity, corners);
      views.polarity = polarity;
      if (outcome == SampleOutcome::kAccepted) views.accepted.push_back(std::move(corners));
      if (outcome == SampleOutcome::kRejected) views.rejected.push_back(std::move(corners));
      reader.decideNextSample(true);
    }
  }
  return views;
}

CameraSolve solveFromShorterStarts(int camera, const CameraViews& views, cv::Size imageSize, cv::Size board,
                                   const std::ostream& format, bool reporting) {
  CameraSolve solve;
  for (const std::optional<cv::Matx33d>& start : solveStarts(imageSize)) {
    solve = solveCamera(camera, views, imageSize, board, format, reporting, start);
    if (solve.solution || solve.tooFewViews) break;
  }
  return solve;
}

CameraSolve solveLookingAgain(int camera, CameraViews views, cv::Size imageSize, const CameraVideos& videos,
                              const std::ostream& format, bool reporting) {
  const std::optional<BoardPolarity> polarity = views.polarity;
  const std::size_t accepted = views.accepted.size();
  const std::size_t found = accepted + views.rejected.size();
  CameraSolve first = solveCamera(camera, std::move(views), imageSize, videos.board, format, reporting);
  const double reduction = FrameScale(imageSize).reduction;
  if (first.solution || reduction == 1.0 || reduction > kMaxSecondLookReduction) return first;

  CameraViews again = lookAgain(videos, camera, polarity);
  const std::size_t acceptedAgain = again.accepted.size();
  const std::size_t foundAgain = acceptedAgain + again.rejected.size();
  if (foundAgain <= found) return first;
  CameraSolve second = solveFromShorterStarts(camera, again, imageSize, videos.board, format, reporting);
  second.moreViewsAccepted = static_cast<int>(acceptedAgain) - static_cast<int>(accepted);
  second.output = "camera " + std::to_string(camera) + ": " + std::to_string(found) +
                  " boards found, no model; every sample searched again, at full size where the reduced copy "
                  "shows none: " +
                  std::to_string(foundAgain) + " boards found\n" + second.output;
  return second;
}

}  // namespace ringcalib::intrinsic
