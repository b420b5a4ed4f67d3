#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "rig/fisheye_lens.h"

// A camera's still and whether the camera's intrinsics fit it: the extrinsic job and the
// export ask the same question and answer it in the same words.
namespace ringcalib::rig {

// The still of camera n in `folder`: <folder>/origin_<n>.jpg.
std::string stillPath(const std::string& folder, int n);

enum class StillFit {
  kFits,
  // Not the video frames' picture scaled (a crop): no scale describes it.
  kOtherAspect,
  // Scaled to the still, fx or fy is not positive, a value is not finite, the focal length
  // is beyond 100 x the still's larger side or the principal point lies more than a tenth of
  // the width or height from the still's centre: parameters of another camera, or unusable
  // ones.
  kUnusable,
};

struct LensOnStill {
  StillFit fit = StillFit::kOtherAspect;
  FisheyeCamera lens;  // in the still's pixels, unless kOtherAspect
};

// `camera` (in pixels of its video frames) scaled to a still of `still` pixels, and whether it
// fits.
LensOnStill lensOnStill(const FisheyeCamera& camera, cv::Size still);

// The line that tells why camera n's intrinsics (from `file`, of `camera`'s frame size) do not
// fit its still at `path` of `still` pixels; empty for kFits.
std::string misfitLine(StillFit fit, int n, const FisheyeCamera& camera, const std::string& file,
                       const std::string& path, cv::Size still);

}  // namespace ringcalib::rig
