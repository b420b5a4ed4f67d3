#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "calibration/intrinsic/board_detection.h"
#include "calibration/intrinsic/camera_records.h"

// A second look at a camera whose first look leaves it without a model. The first look tests
// the samples the back-off lets through, on a copy reduced to about 1000 x 750; a small
// lens's boards at 1280 x 800 and up (squares of a dozen pixels) are often lost in that copy,
// and each miss skips the next three samples.
namespace ringcalib::intrinsic {

// Where a camera's videos are and the board its frames are searched for.
struct CameraVideos {
  const std::vector<std::string>& folders;
  cv::Size board;
};

// Every sampled frame of camera `camera`'s videos examined again without the back-off
// (BoardDetector::lookAgain, boards printed as `polarity`, or either way until one is found,
// for a few samples at most): the views found, in order.
CameraViews lookAgain(const CameraVideos& videos, int camera, std::optional<BoardPolarity> polarity);

// Where a camera's solve may start, in turn until one gives a model: the library's own start
// (nullopt: a focal length of max(width, height) / pi), then shorter ones. A circular
// fisheye's is far shorter (about 230 pixels for 190 degrees across 800 rows, against 407),
// and from the library's start its views fail to start (ill-conditioned).
std::vector<std::optional<cv::Matx33d>> solveStarts(cv::Size imageSize);

// Solves camera `camera`'s views (solveCamera) from the library's start and, while that gives
// no model, from shorter focal lengths: a circular fisheye's views fail to start from the
// library's (ill-conditioned).
CameraSolve solveFromShorterStarts(int camera, const CameraViews& views, cv::Size imageSize, cv::Size board,
                                   const std::ostream& format, bool reporting);

// Solves camera `camera`'s views (solveCamera). When that gives no model and the camera's
// frames are reduced for the search, by at most 2, every sample is looked at again;
// where the second look finds more boards, its views are solved instead
// (solveFromShorterStarts), after a line that says so. Runs whose cameras are solved from
// their first look stay as they were.
CameraSolve solveLookingAgain(int camera, CameraViews views, cv::Size imageSize, const CameraVideos& videos,
                              const std::ostream& format, bool reporting);

}  // namespace ringcalib::intrinsic
