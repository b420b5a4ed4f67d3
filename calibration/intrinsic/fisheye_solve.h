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

// Solves K and D of camera `cameraId` from the views (corners of frames of `imageSize`), with
// the distortion `terms` (the job's first solve fits all four), and prints them to `out`. Views the library cannot start from (fewer than five corners, or all
// on one line of the board) are left out; a view it reports as ill-conditioned is dropped, in
// one line, and the solve is repeated while kMinViews views remain. Fails with 9 after one
// line naming the camera. A finished solve is recorded into `record` unless null.
Result<FisheyeSolution> solveFisheye(const std::vector<std::vector<cv::Point2f>>& imagePoints,
                                     const std::vector<std::vector<cv::Point3f>>& objectPoints,
                                     int cameraId, cv::Size imageSize,
                                     std::ostream& out = std::cout,
                                     report::CameraReport* record = nullptr,
                                     DistortionTerms terms = DistortionTerms::kFour);

}  // namespace ringcalib::intrinsic
