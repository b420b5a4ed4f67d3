#pragma once

#include <iostream>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "rig/lens_covariance.h"
#include "core/result.h"
#include "report/report_data.h"

namespace ringcalib::intrinsic {

// Fewer views than this leave too little spread of board poses for the solve.
constexpr int kMinViews = 20;

// The distortion terms a solve fits, k1 up to k<n>; the others are held at 0.
enum class DistortionTerms { kFour = 4, kThree = 3, kTwo = 2 };

// A camera's equidistant fisheye model as its board views give it.
struct FisheyeSolution {
  cv::Matx33d K;
  cv::Vec4d D;
  // The covariance of K and D (board_covariance.h), zero in the rows and columns of the terms
  // held at 0; nullopt when the views leave it undetermined. Not written to the file; an "all" run hands it to the ring adjustment.
  std::optional<rig::LensCovariance> covariance;
  // The views the solve kept, as their places among the views it was given.
  std::vector<std::size_t> views;
};

// How a solve fits the model.
struct FisheyeFit {
  // The distortion terms it fits (the job's first solve fits all four).
  DistortionTerms terms = DistortionTerms::kFour;
  // Where it starts: a camera matrix near the solution (with D = 0), or without one the
  // library's own start (the frame's centre, a focal length of max(width, height) / pi). That
  // start puts the corners of a long lens's far boards beyond 90 degrees off the axis, and
  // their views fail to start (the library calls them ill-conditioned).
  std::optional<cv::Matx33d> start;
};

// Solves K and D of camera `cameraId` from the views (corners of frames of `imageSize`) as
// `fit` says, and prints them to `out`. Views the library cannot start from (fewer than five
// corners, or all on one line of the board) are left out; a view it reports as
// ill-conditioned is dropped, in one line, and the solve is repeated while kMinViews views
// remain. Fails with 9 after one line naming the camera. A finished solve is recorded into
// `record` unless null.
Result<FisheyeSolution> solveFisheye(const std::vector<std::vector<cv::Point2f>>& imagePoints,
                                     const std::vector<std::vector<cv::Point3f>>& objectPoints,
                                     int cameraId, cv::Size imageSize,
                                     std::ostream& out = std::cout,
                                     report::CameraReport* record = nullptr,
                                     const FisheyeFit& fit = FisheyeFit());

}  // namespace ringcalib::intrinsic
