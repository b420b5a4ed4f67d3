// The extrinsic job's first stage: the stills and their intrinsics, the ring's layout, and for
// the standard rig every camera's still as an upright view of the common pinhole camera.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <iostream>
#include <string>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "calibration/extrinsic/image_orientation.h"
#include "calibration/extrinsic/layout_detection.h"
#include "calibration/extrinsic/progress.h"
#include "calibration/extrinsic/stages.h"
#include "calibration/extrinsic/still_views.h"
#include "core/job_guard.h"
#include "core/number_format.h"
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

namespace {

// A camera's preview for the report when the views are the pair frames' own: its still
// along its axis, turned so that the ring's up is up.
cv::Mat uprightPreview(const cv::Mat& still, const ringcalib::rig::FisheyeCamera& lens, const cv::Vec3d& up) {
  const cv::Vec3d axis(0.0, 0.0, 1.0);
  const cv::Vec3d x = cv::normalize(axis.cross(up));
  const cv::Vec3d y = axis.cross(x);
  const cv::Matx33d toView(x[0], x[1], x[2], y[0], y[1], y[2], 0.0, 0.0, 1.0);
  const int side = ringcalib::report::kPreviewSide;
  const double scale = static_cast<double>(side) / ringcalib::rig::kViewSize;
  const double focal = ringcalib::rig::kViewFocal * scale;
  const double centre = 0.5 * (side - 1);
  return viewOfStill(still, lens, toView, cv::Matx33d(focal, 0.0, centre, 0.0, focal, centre, 0.0, 0.0, 1.0), side,
                     cv::Range(0, side));
}

// One line for a layout other than the standard rig's: what the stills showed.
std::string layoutLine(const ringcalib::rig::RingLayout& layout) {
  double tilt = 0.0;
  for (int n = 0; n < layout.cameras(); ++n) tilt += layout.tiltDeg(n) / layout.cameras();
  std::string mountings;
  for (int n = 0; n < layout.cameras(); ++n) {
    const double roll = layout.rollDeg(n);
    const char* mounting = std::abs(roll) <= 45.0 ? "upright" : std::abs(roll - 90.0) < 45.0 ? "turned right" : std::abs(roll + 90.0) < 45.0 ? "turned left" : "upside down";
    mountings += (n == 0 ? "" : ", ") + std::string(mounting);
  }
  return std::string("ring layout: ") + ringcalib::rig::spelledCount(layout.cameras()) + " cameras, looking " +
         ringcalib::formatNumber("%.1f", std::abs(tilt)) + " deg " + (tilt < 0.0 ? "down" : "up") +
         ", sensors " + mountings + "; the poses are written in the cameras' own frames";
}

}  // namespace

ringcalib::Result<PreparedViews> ringcalib::extrinsic::prepareViews(
    ringcalib::rig::ParameterDocument& document, const std::string& folder, const std::string& file,
    int cameras, double progressShare, ringcalib::report::CalibrationReport* report) {
  using Failure = ringcalib::Result<PreparedViews>;
  // The stills are read and the standard rig's views prepared on worker threads as soon as
  // their inputs are there; this thread takes the results in the job's order and prints them,
  // so the output is the same on any number of threads. A view is prepared only once its
  // camera's parameters have been read and checked here. A ring of six may be the standard
  // rig: its views are prepared while the stills tell the layout, and dropped if it is not.
  std::vector<cv::Mat> grey(cameras);
  std::vector<cv::Matx33d> K(cameras);
  std::vector<cv::Vec4d> D(cameras);
  std::vector<ringcalib::rig::FisheyeCamera> lenses(cameras);
  std::vector<cv::Mat> views(cameras);
  std::vector<int> loading(cameras);
  std::vector<int> preparing(cameras);
  const bool maybeStandard = cameras == kCameras;
  const cv::Mat Knew(ringcalib::rig::targetCamera());
  const double share = progressShare;
  const bool reporting = report != nullptr;
  ringcalib::TaskGraph tasks;
  for (int n = 0; n < cameras; ++n) {
    const std::string path = stillPath(folder, n);
    loading[n] = tasks.add([&grey, n, path] {
      grey[n] = readGrey(path);
      if (!grey[n].empty()) setNonZero(grey[n]);
    });
  }
  if (maybeStandard) {
    for (int n = 0; n < cameras; ++n) {
      preparing[n] = tasks.add([&, n] { prepareView(grey[n], K[n], D[n], Knew, views[n]); }, {loading[n]}, true);
    }
  }
  tasks.start(cv::getNumThreads());

  // Loading: camera by camera, the image is checked before its parameters are read.
  for (int n = 0; n < cameras; ++n) {
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
    lenses[n] = onStill.lens;
    if (maybeStandard) tasks.release(preparing[n]);
    std::cout << "progress:" << loadingProgress(n, share, cameras) << std::endl;
  }

  // The layout: the standard rig's views are those prepared meanwhile; any other layout's
  // pairs are rendered from the stills in the pair stage.
  PreparedViews prepared;
  std::string why;
  const bool found = findRingLayout(grey, lenses, prepared.layout, why);
  if (found ? !ringcalib::rig::isStandardLayout(prepared.layout) : !maybeStandard) {
    if (!found) {
      std::cout << "extrinsic calibration failed: the ring's layout cannot be found: " << why << std::endl;
      return Failure::failure(ringcalib::kComputationFailed);
    }
    if (maybeStandard) {
      for (int n = 0; n < cameras; ++n) tasks.wait(preparing[n]);
    }
    std::cout << layoutLine(prepared.layout) << std::endl;
    prepared.frame = ringcalib::rig::PoseFrame::kCamera;
    for (int n = 0; n < cameras; ++n) {
      if (reporting) {
        ringcalib::report::CameraReport& camera = report->camera(n);
        camera.preview = uprightPreview(grey[n], lenses[n], prepared.layout.up[n]);
        camera.still = grey[n];
        camera.stillLens = {K[n], D[n]};
      }
      std::cout << "progress:" << preparingProgress(n, share, cameras) << std::endl;
    }
    prepared.stills = std::move(grey);
    prepared.lenses = std::move(lenses);
    return prepared;
  }

  // Preparing: every still becomes an upright view of the common pinhole camera, once.
  for (int n = 0; n < cameras; ++n) {
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
    } else {
      grey[n].release();
    }
    std::cout << "progress:" << preparingProgress(n, share, cameras) << std::endl;
  }
  prepared.views = std::move(views);
  return prepared;
}
