#include "rig/camera_still.h"

#include <algorithm>
#include <cmath>

namespace ringcalib::rig {

namespace {

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

std::string sizeText(cv::Size size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

}  // namespace

std::string stillPath(const std::string& folder, int n) {
  return folder + "/origin_" + std::to_string(n) + ".jpg";
}

LensOnStill lensOnStill(const FisheyeCamera& camera, cv::Size still) {
  // The stills' scale over the video frames follows from their sizes (4000 x 3000 over
  // 3200 x 2400: 1.25).
  LensOnStill onStill;
  const double scale = camera.stillScale(still);
  if (scale == 0.0) return onStill;
  onStill.lens = camera.scaledToStill(scale);
  onStill.fit = usableIntrinsics(onStill.lens.K, onStill.lens.D, still) ? StillFit::kFits : StillFit::kUnusable;
  return onStill;
}

std::string misfitLine(StillFit fit, int n, const FisheyeCamera& camera, const std::string& file,
                       const std::string& path, cv::Size still) {
  const std::string cameraText = "camera " + std::to_string(n) + ": ";
  switch (fit) {
    case StillFit::kFits:
      return "";
    case StillFit::kOtherAspect:
      return cameraText + path + " is " + sizeText(still) + ", not of the aspect of its video frames (" +
             sizeText(camera.frameSize) + ")";
    case StillFit::kUnusable:
      return cameraText + "the intrinsic parameters in " + file + " do not fit " + path + " (" + sizeText(still) +
             "): fx, fy must be positive, every value finite, the principal point near the centre";
  }
  return "";
}

}  // namespace ringcalib::rig
