#include "calibration/extrinsic_calibration.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>
#include <sstream>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "calibration/extrinsic_progress.h"
#include "calibration/ring_closure_check.h"
#include "core/job_guard.h"
#include "core/result_code.h"
#include "core/task_graph.h"
#include "pose/reprojection_errors.h"
#include "report/assessment.h"
#include "report/epipolar_consistency.h"
#include "report/view_samples.h"
#include "rig/prepared_view.h"
#include "rig/ring.h"

using namespace ringcalib::extrinsic;
using ringcalib::kSuccess;
using ringcalib::rig::kCameras;

namespace {

std::string stillPath(const std::string& folder, int n) {
  return folder + "/origin_" + std::to_string(n) + ".jpg";
}

// What solving one pair gives, kept until the pair's turn to be printed.
struct SolvedPair {
  PairSolution solution;
  std::string output;  // the lines the pair printed
  ringcalib::report::PairReport record;
};

// What the report shows of a pair: as far as its solve got.
void recordPair(ringcalib::report::PairReport& record, const PairSolution& solution,
                const cv::Mat& K) {
  namespace report = ringcalib::report;
  const PairMatches& matches = solution.matches;
  if (solution.matched) {
    record.correspondences = static_cast<int>(matches.pts1.size());
    report::recordStrips(record, matches.warpedFirst, matches.warpedSecond, matches.strip.start,
                         matches.strip.size(), matches.warped1, matches.warped2);
  }
  if (solution.fitted) {
    record.consistentWithF = report::countConsistentWithF(matches.pts1, matches.pts2,
                                                          solution.fit.F, report::kSampsonLimitPx);
    for (std::size_t k = 0; k < solution.fit.inliers.size() && k < matches.pts1.size(); ++k) {
      if (solution.fit.inliers[k] == 0) continue;
      record.inliers1.push_back(matches.pts1[k]);
      record.inliers2.push_back(matches.pts2[k]);
    }
  }
  if (solution.posed) {
    const PoseEstimate& pose = solution.pose;
    report::recordPose(record, pose.error, pose.R, pose.t, pose.anglesDeg,
                       ringcalib::poseReprojectionErrors(matches.pts1, matches.pts2, K, pose.R,
                                                         pose.t));
  }
}

// The last line of `text` (which ends with a line end).
std::string lastLine(const std::string& text) {
  const std::size_t start = text.size() < 2 ? std::string::npos : text.rfind('\n', text.size() - 2);
  return start == std::string::npos ? text : text.substr(start + 1);
}

// The image library reports a file it cannot open on standard error; the job reports it on
// standard output, so a missing file is recognised before the library is asked.
cv::Mat readGrey(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      ::access(path.c_str(), R_OK) != 0) {
    return cv::Mat();
  }
  return cv::imread(path, cv::IMREAD_GRAYSCALE);
}

// Undistortion divides by fx and fy and multiplies by every coefficient: a zero or negative
// focal length, or a value that is (or after the scaling to the still becomes) infinite or NaN,
// would give views and poses of garbage rather than an error. The scaled principal point of
// a real lens lies within a few per cent of the still's centre (a generated rig's within
// 25 px at 3200 x 2400, 1 %); more than a tenth of the width or height away means
// parameters of another camera, or unusable ones (a focal length like 1e308 is finite but
// puts the still's pixels far beyond its borders).
bool usableIntrinsics(const cv::Matx33d& K, const cv::Vec4d& D, cv::Size still) {
  const double focalLimit = 100.0 * std::max(still.width, still.height);
  return K(0, 0) > 0.0 && K(1, 1) > 0.0 && K(0, 0) < focalLimit && K(1, 1) < focalLimit &&
         cv::checkRange(K) && cv::checkRange(D) &&
         std::abs(K(0, 2) - 0.5 * still.width) <= 0.1 * still.width &&
         std::abs(K(1, 2) - 0.5 * still.height) <= 0.1 * still.height;
}

}  // namespace

int ExtrinsicCalibration::Calibrate(const std::vector<std::string>& imagePaths,
                                    const std::string& file,
                                    const InputParam::CalibrationType& type) {
  return ringcalib::runGuarded("extrinsic calibration",
                               [&] { return calibrate(imagePaths, file, type); });
}

int ExtrinsicCalibration::calibrate(const std::vector<std::string>& imagePaths,
                                    const std::string& file,
                                    const InputParam::CalibrationType& type) {
  int code = loadDocument(file, imagePaths);
  if (code != kSuccess) return code;
  std::array<PairSolution, kCameras> solutions;
  code = solveRing(imagePaths, file, progressShare(type), true, solutions);
  if (code != kSuccess) return code;

  // Store: the pairwise poses, or with --ring-adjust the adjusted ones; the document as read,
  // with the six added, replaces the file in one piece.
  std::array<ringcalib::rig::PairPose, kCameras> poses;
  std::array<const PairSolution*, kCameras> solved;
  for (int k = 0; k < kCameras; ++k) {
    poses[k] = {cv::Matx33d(solutions[k].pose.R), cv::Vec3d(solutions[k].pose.t)};
    solved[k] = &solutions[k];
  }
  if (ringAdjust_) {
    code = adjustRing(solved, poses);
    if (code != kSuccess) return code;
  }
  for (int k = 0; k < kCameras; ++k) {
    code = writeExtrinsicParam(cv::Mat(poses[k].R), cv::Mat(poses[k].t), k);
    if (code != kSuccess) return code;
  }
  if (document_.write(file) != kSuccess) {
    return ringcalib::kCannotOpen;
  }
  return kSuccess;
}

int ExtrinsicCalibration::loadDocument(const std::string& file,
                                       const std::vector<std::string>& imagePaths) {
  const int code = document_.load(in_, file);
  if (code != kSuccess) return code;
  if (imagePaths.empty()) {
    std::cout << "No image folder was given (--image): the extrinsic job needs origin_0.jpg ... "
                 "origin_5.jpg"
              << std::endl;
    return ringcalib::kImageMissing;
  }
  return kSuccess;
}

int ExtrinsicCalibration::solveRing(const std::vector<std::string>& imagePaths,
                                    const std::string& file, double share,
                                    bool pairDiagnostics,
                                    std::array<PairSolution, kCameras>& solutions) {
  // The stills are read, the views prepared and the pairs solved on worker threads as soon
  // as their inputs are there; this thread takes the results in the job's order and prints
  // them, so the output is the same on any number of threads. A view is prepared only once
  // its camera's parameters have been read and checked here.
  std::array<cv::Mat, kCameras> grey;
  std::array<cv::Matx33d, kCameras> K;
  std::array<cv::Vec4d, kCameras> D;
  std::array<cv::Mat, kCameras> views;
  std::array<SolvedPair, kCameras> pairs;
  std::array<int, kCameras> loading;
  std::array<int, kCameras> preparing;
  std::array<int, kCameras> solving;
  const cv::Mat Knew(ringcalib::rig::targetCamera());
  std::ostringstream format;  // the pairs print as standard output would
  format.copyfmt(std::cout);
  const bool reporting = report_ != nullptr;
  ringcalib::TaskGraph tasks;
  for (int n = 0; n < kCameras; ++n) {
    const std::string path = stillPath(imagePaths.front(), n);
    loading[n] = tasks.add([this, &grey, n, path] {
      grey[n] = readGrey(path);
      if (!grey[n].empty()) setNonZero(grey[n]);
    });
  }
  for (int n = 0; n < kCameras; ++n) {
    preparing[n] = tasks.add(
        [&, n] {
          prepareView(grey[n], K[n], D[n], Knew, views[n]);
          if (!reporting) grey[n].release();  // the report's panorama and pairs read the still
        },
        {loading[n]}, true);
  }
  for (int i = 0; i < kCameras; ++i) {
    const int j = ringcalib::rig::nextCamera(i);
    solving[i] = tasks.add(
        [&, i, j] {
          SolvedPair& pair = pairs[i];
          std::ostringstream out;
          out.copyfmt(format);
          solvePair(i, j, views[i], views[j], Knew, Knew, pair.solution, out);
          pair.output = out.str();
          if (reporting) {
            pair.record.pair = i;
            pair.record.first = i;
            pair.record.second = j;
            recordPair(pair.record, pair.solution, Knew);
          }
          // The warped views are the pair's largest buffers; nothing reads them after this.
          pair.solution.matches.warpedFirst.release();
          pair.solution.matches.warpedSecond.release();
        },
        {preparing[i], preparing[j]});
  }
  tasks.start(cv::getNumThreads());

  // Loading: camera by camera, the image is checked before its parameters are read.
  for (int n = 0; n < kCameras; ++n) {
    tasks.wait(loading[n]);
    if (grey[n].empty()) {
      std::cout << stillPath(imagePaths.front(), n) << " is empty" << std::endl;
      return ringcalib::kImageMissing;
    }
    K[n] = cv::Matx33d::zeros();
    D[n] = cv::Vec4d::all(0.0);
    const int code = readCameraParams(K[n], D[n], n);
    if (code != kSuccess) return code;
    if (reporting) ringcalib::report::recordIntrinsicsInUse(report_->camera(n), K[n], D[n]);
    // The stills' scale over the video frames follows from their sizes (4000 x 3000 over
    // 3200 x 2400: 1.25); a still of another aspect is a crop, which no scale describes.
    const ringcalib::rig::FisheyeCamera camera{K[n], D[n], document_.frameSize(n)};
    const double stillScale = camera.stillScale(grey[n].size());
    if (stillScale == 0.0) {
      std::cout << "camera " << n << ": " << stillPath(imagePaths.front(), n) << " is "
                << grey[n].cols << "x" << grey[n].rows << ", not of the aspect of its video frames ("
                << camera.frameSize.width << "x" << camera.frameSize.height << ")" << std::endl;
      return ringcalib::kBadParameterFile;
    }
    K[n] = camera.scaledToStill(stillScale).K;
    if (!usableIntrinsics(K[n], D[n], grey[n].size())) {
      std::cout << "camera " << n << ": the intrinsic parameters in " << file
                << " do not fit " << stillPath(imagePaths.front(), n) << " (" << grey[n].cols
                << "x" << grey[n].rows
                << "): fx, fy must be positive, every value finite, the principal point "
                   "near the centre"
                << std::endl;
      return ringcalib::kBadParameterFile;
    }
    tasks.release(preparing[n]);
    std::cout << "progress:" << loadingProgress(n, share) << std::endl;
  }
  in_.close();

  // Preparing: every still becomes an upright view of the common pinhole camera, once.
  for (int n = 0; n < kCameras; ++n) {
    try {
      tasks.wait(preparing[n]);
    } catch (const std::exception& e) {
      std::cout << "extrinsic calibration of camera " << n
                << " failed: " << ringcalib::describeException(e) << std::endl;
      return ringcalib::kComputationFailed;
    }
    if (reporting) {
      ringcalib::report::CameraReport& camera = report_->camera(n);
      camera.preview = ringcalib::report::reducedPreview(views[n]);
      camera.still = std::move(grey[n]);
      camera.stillLens = {K[n], D[n]};
    }
    std::cout << "progress:" << preparingProgress(n, share) << std::endl;
  }

  // Pairs: camera i with the next one around the ring. Without the diagnostics a pair
  // prints only the line that says why it failed, its last.
  for (int i = 0; i < kCameras; ++i) {
    tasks.wait(solving[i]);
    const int code = pairs[i].solution.code;
    if (pairDiagnostics) {
      std::cout << pairs[i].output << std::flush;
    } else if (code != kSuccess) {
      std::cout << lastLine(pairs[i].output) << std::flush;
    }
    if (reporting) report_->pair(i) = std::move(pairs[i].record);
    solutions[i] = std::move(pairs[i].solution);
    if (code != kSuccess) return code;
    std::cout << "progress:" << pairProgress(i, share) << std::endl;
  }

  // Ring: a wrong pair can pass every test of its own; the six composed around the ring
  // show it, and its pose must not be used.
  std::array<cv::Matx33d, kCameras> rotations;
  for (int k = 0; k < kCameras; ++k) rotations[k] = cv::Matx33d(solutions[k].pose.R);
  return checkRingCloses(rotations);
}

void ExtrinsicCalibration::prepareView(const cv::Mat& grey, const cv::Matx33d& K,
                                       const cv::Vec4d& D, const cv::Mat& Knew, cv::Mat& view) {
  // cv::fisheye::undistortImage is these two calls. Each worker thread keeps its maps for
  // the next camera: they are the job's largest buffers, and fresh ones cost their first
  // touch of every page again.
  thread_local cv::Mat map1;
  thread_local cv::Mat map2;
  cv::fisheye::initUndistortRectifyMap(K, D, cv::Matx33d::eye(), Knew,
                                       cv::Size(ringcalib::rig::kViewSize, ringcalib::rig::kViewSize), CV_16SC2,
                                       map1, map2);
  cv::remap(grey, view, map1, map2, cv::INTER_LINEAR, cv::BORDER_CONSTANT);
  rotate90(view);
}
