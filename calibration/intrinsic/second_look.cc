// A second look at a camera whose first look leaves it without a model.
#include "calibration/intrinsic/second_look.h"

#include <algorithm>

#include "calibration/intrinsic/camera_examination.h"
#include "calibration/intrinsic/field_solve.h"
#include "calibration/intrinsic/frame_reader.h"
#include "calibration/intrinsic/frame_scale.h"

namespace ringcalib::intrinsic {
namespace {

// Where the second look's solves start, in turn until one gives a model: the library's own
// start (a focal length of max(width, height) / pi), then shorter ones, in shares of it. A
// circular fisheye's is far shorter (about 230 pixels for 190 degrees across 800 rows,
// against 407), and from the library's start its views fail to start (ill-conditioned).
constexpr double kStartFocalShares[] = {1.0, 0.75, 0.5625};

std::optional<cv::Matx33d> startWithFocalShare(double share, cv::Size imageSize) {
  if (share == 1.0) return std::nullopt;
  const double focal = share * std::max(imageSize.width, imageSize.height) / CV_PI;
  return cv::Matx33d(focal, 0.0, (imageSize.width - 1) / 2.0, 0.0, focal, (imageSize.height - 1) / 2.0, 0.0, 0.0,
                     1.0);
}

}  // namespace

CameraViews lookAgain(const CameraVideos& videos, int camera, BoardPolarity polarity) {
  CameraViews views;
  views.polarity = polarity;
  BoardDetector detector;
  for (const std::string& folder : videos.folders) {
    FrameReader reader(videoPath(folder, camera), kSampleEvery);
    if (!reader.isOpened()) break;
    reader.start(true);
    for (VideoFrame frame = reader.next(); !frame.end; frame = reader.next()) {
      if (!frame.sample) continue;
      std::vector<cv::Point2f> corners;
      const SampleOutcome outcome = detector.lookAgain(frame.pixels, videos.board, polarity, corners);
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
  for (const double share : kStartFocalShares) {
    solve = solveCamera(camera, views, imageSize, board, format, reporting, startWithFocalShare(share, imageSize));
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
  if (first.solution || !polarity || FrameScale(imageSize).searchSize == imageSize) return first;

  CameraViews again = lookAgain(videos, camera, *polarity);
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
