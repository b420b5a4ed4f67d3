// The extrinsic job's first stage: every camera's still to an upright view of the common
// pinhole camera.
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "calibration/extrinsic/image_orientation.h"
#include "calibration/extrinsic/progress.h"
#include "calibration/extrinsic/stages.h"
#include "core/job_guard.h"
#include "core/result_code.h"
#include "core/task_graph.h"
#include "report/view_samples.h"
#include "rig/camera_still.h"
#include "rig/prepared_view.h"

using namespace ringcalib::extrinsic;
using ringcalib::rig::stillPath;
using ringcalib::rig::kCameras;

namespace {

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

// Undistorts a camera's still to the target pinhole view and turns it upright.
void prepareView(const cv::Mat& grey, const cv::Matx33d& K, const cv::Vec4d& D,
                 const cv::Mat& Knew, cv::Mat& view) {
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

}  // namespace

ringcalib::Result<PreparedViews> ringcalib::extrinsic::prepareViews(
    ringcalib::rig::ParameterDocument& document, const std::string& folder,
    const std::string& file, double progressShare, ringcalib::report::CalibrationReport* report) {
  using Failure = ringcalib::Result<PreparedViews>;
  // The stills are read and the views prepared on worker threads as soon as their inputs
  // are there; this thread takes the results in the job's order and prints them, so the
  // output is the same on any number of threads. A view is prepared only once its camera's
  // parameters have been read and checked here.
  std::array<cv::Mat, kCameras> grey;
  std::array<cv::Matx33d, kCameras> K;
  std::array<cv::Vec4d, kCameras> D;
  PreparedViews prepared;
  std::array<cv::Mat, kCameras>& views = prepared.views;
  std::array<int, kCameras> loading;
  std::array<int, kCameras> preparing;
  const cv::Mat Knew(ringcalib::rig::targetCamera());
  const double share = progressShare;
  const bool reporting = report != nullptr;
  ringcalib::TaskGraph tasks;
  for (int n = 0; n < kCameras; ++n) {
    const std::string path = stillPath(folder, n);
    loading[n] = tasks.add([&grey, n, path] {
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
  tasks.start(cv::getNumThreads());

  // Loading: camera by camera, the image is checked before its parameters are read.
  for (int n = 0; n < kCameras; ++n) {
    tasks.wait(loading[n]);
    if (grey[n].empty()) {
      std::cout << stillPath(folder, n) << " is empty" << std::endl;
      return Failure::failure(ringcalib::kImageMissing);
    }
    const ringcalib::Result<ringcalib::rig::FisheyeCamera> lens = readCameraParams(document, n);
    if (!lens.ok()) return Failure::failure(lens.code());
    K[n] = lens.value().K;
    D[n] = lens.value().D;
    if (reporting) ringcalib::report::recordIntrinsicsInUse(report->camera(n), K[n], D[n]);
    const ringcalib::rig::FisheyeCamera camera{K[n], D[n], document.frameSize(n)};
    const ringcalib::rig::LensOnStill onStill = ringcalib::rig::lensOnStill(camera, grey[n].size());
    if (onStill.fit != ringcalib::rig::StillFit::kFits) {
      std::cout << ringcalib::rig::misfitLine(onStill.fit, n, camera, file, stillPath(folder, n), grey[n].size())
                << std::endl;
      return Failure::failure(ringcalib::kBadParameterFile);
    }
    K[n] = onStill.lens.K;
    tasks.release(preparing[n]);
    std::cout << "progress:" << loadingProgress(n, share) << std::endl;
  }

  // Preparing: every still becomes an upright view of the common pinhole camera, once.
  for (int n = 0; n < kCameras; ++n) {
    try {
      tasks.wait(preparing[n]);
    } catch (const std::exception& e) {
      std::cout << "extrinsic calibration of camera " << n
                << " failed: " << ringcalib::describeException(e) << std::endl;
      return Failure::failure(ringcalib::kComputationFailed);
    }
    if (reporting) {
      ringcalib::report::CameraReport& camera = report->camera(n);
      camera.preview = ringcalib::report::reducedPreview(views[n]);
      camera.still = std::move(grey[n]);
      camera.stillLens = {K[n], D[n]};
    }
    std::cout << "progress:" << preparingProgress(n, share) << std::endl;
  }
  return prepared;
}
