// The fisheye solve of one camera, with the views the library cannot use left out.
#include "calibration/intrinsic/fisheye_solve.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include <opencv2/calib3d.hpp>

#include "calibration/intrinsic/board_covariance.h"
#include "core/job_guard.h"
#include "core/result_code.h"
#include "report/solve_residuals.h"

namespace ringcalib::intrinsic {

namespace {

// cv::fisheye::CALIB_RECOMPUTE_EXTRINSIC | CALIB_CHECK_COND | CALIB_FIX_SKEW.
constexpr int kFisheyeFlags = 14;

// The library's flags that hold the terms a solve does not fit at 0 (D starts at 0).
int heldTermFlags(DistortionTerms terms) {
  switch (terms) {
    case DistortionTerms::kFour:
      return 0;
    case DistortionTerms::kThree:
      return cv::fisheye::CALIB_FIX_K4;
    case DistortionTerms::kTwo:
      return cv::fisheye::CALIB_FIX_K3 | cv::fisheye::CALIB_FIX_K4;
  }
  return 0;
}

// The library starts each view's pose from a homography of the board plane; it raises on a
// view of fewer than five points, or one whose board points all lie on one line.
constexpr std::size_t kMinCornersPerView = 5;

constexpr char kIllConditionedText[] =
    "CALIB_CHECK_COND - Ill-conditioned matrix for input array ";

// The index of the view that the library reports as ill-conditioned, or -1 when the error
// is of another kind.
long illConditionedView(const cv::Exception& error, std::size_t viewCount) {
  const std::size_t at = error.err.find(kIllConditionedText);
  if (at == std::string::npos) return -1;
  const char* digits = error.err.c_str() + at + sizeof(kIllConditionedText) - 1;
  char* end = nullptr;
  errno = 0;
  const long view = std::strtol(digits, &end, 10);
  if (end == digits || errno != 0 || view < 0 || static_cast<std::size_t>(view) >= viewCount) {
    return -1;
  }
  return view;
}

// Whether the board points of a view are enough for the library's start: five or more, not
// all on one line. (Points close to a line it reports as ill-conditioned; see below.)
bool spansThePlane(const std::vector<cv::Point3f>& boardPoints) {
  if (boardPoints.size() < kMinCornersPerView) return false;
  const cv::Point3f& first = boardPoints.front();
  const auto second = std::find_if(boardPoints.begin(), boardPoints.end(),
                                   [&](const cv::Point3f& p) { return p != first; });
  if (second == boardPoints.end()) return false;
  const cv::Point3f a = *second - first;
  return std::any_of(second, boardPoints.end(), [&](const cv::Point3f& p) {
    const cv::Point3f b = p - first;
    return a.x * b.y - a.y * b.x != 0.0f;
  });
}

bool allFinite(const cv::Matx33d& K, const cv::Vec4d& D) {
  for (int i = 0; i < 9; ++i) {
    if (!std::isfinite(K.val[i])) return false;
  }
  for (int i = 0; i < 4; ++i) {
    if (!std::isfinite(D[i])) return false;
  }
  return true;
}

}  // namespace

Result<FisheyeSolution> solveFisheye(const std::vector<std::vector<cv::Point2f>>& imagePoints,
                                     const std::vector<std::vector<cv::Point3f>>& objectPoints,
                                     int cameraId, cv::Size imageSize, std::ostream& out,
                                     report::CameraReport* record, const FisheyeFit& fit) {
  const Result<FisheyeSolution> failure = Result<FisheyeSolution>::failure(kComputationFailed);
  const std::string failed = "fisheye calibration of camera " + std::to_string(cameraId) +
                             " failed: ";
  // The solve works on copies; `viewNumbers` keeps each solved view's place among all views
  // of the camera, for the messages.
  std::vector<std::vector<cv::Point2f>> images;
  std::vector<std::vector<cv::Point3f>> objects;
  std::vector<std::size_t> viewNumbers;
  for (std::size_t view = 0; view < imagePoints.size(); ++view) {
    if (imagePoints[view].size() < kMinCornersPerView || !spansThePlane(objectPoints[view])) {
      continue;
    }
    images.push_back(imagePoints[view]);
    objects.push_back(objectPoints[view]);
    viewNumbers.push_back(view);
  }
  if (images.empty()) {
    out << failed << "no view has five corners off one line inside the central circle"
        << std::endl;
    return failure;
  }

  // Views that count toward the minimum: all views of the camera, less those dropped here.
  std::size_t viewsLeft = imagePoints.size();
  const cv::TermCriteria criteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100,
                                  DBL_EPSILON);
  // The views' poses and the RMS error serve the report and the covariance.
  std::vector<cv::Vec3d> rotations;
  std::vector<cv::Vec3d> translations;
  double rms = 0.0;
  cv::Matx33d K;
  cv::Vec4d D;
  const int flags = kFisheyeFlags | heldTermFlags(fit.terms) | (fit.start ? cv::fisheye::CALIB_USE_INTRINSIC_GUESS : 0);
  for (;;) {
    // Every attempt from the same start: the library leaves K and D of a failed one changed.
    K = fit.start.value_or(cv::Matx33d());
    D = cv::Vec4d();
    try {
      rms = cv::fisheye::calibrate(objects, images, imageSize, K, D, rotations, translations, flags, criteria);
      break;
    } catch (const cv::Exception& error) {
      const long view = illConditionedView(error, images.size());
      if (view < 0) {
        out << failed << describeException(error) << std::endl;
        return failure;
      }
      out << "camera " << cameraId << ": view " << viewNumbers[view]
          << " is ill-conditioned and is left out of the fisheye solve" << std::endl;
      images.erase(images.begin() + view);
      objects.erase(objects.begin() + view);
      viewNumbers.erase(viewNumbers.begin() + view);
      --viewsLeft;
      if (viewsLeft < static_cast<std::size_t>(kMinViews)) {
        out << failed << viewsLeft << " views left, " << kMinViews << " needed" << std::endl;
        return failure;
      }
      if (images.empty()) {
        out << failed << "no well-conditioned view left" << std::endl;
        return failure;
      }
    }
  }
  if (!allFinite(K, D)) {
    out << failed << "the solve gave a camera matrix or distortion that is not finite"
        << std::endl;
    return failure;
  }
  if (record != nullptr) {
    report::recordFisheyeSolve(*record, rms, objects, images, rotations, translations, K, D);
  }
  FisheyeSolution solution{K, D, std::nullopt, viewNumbers};
  // Only the ring adjustment's sigma reads it: a covariance the library cannot compute is
  // left out, never the solve's failure.
  try {
    rig::LensCovariance C;
    if (boardCovariance(objects, images, rotations, translations, K, D, static_cast<int>(fit.terms), C)) {
      solution.covariance = C;
    }
  } catch (const cv::Exception&) {
  }
  out << "fisheye K" << std::endl;
  out << K << std::endl;
  out << "fisheye D" << std::endl;
  out << D << std::endl;
  return solution;
}

}  // namespace ringcalib::intrinsic
