#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "rig/fisheye_lens.h"
#include "rig/pair_pose.h"
#include "rig/ring.h"

// What ringcalib-export reads: a finished calibration and the stills it was made for.
namespace ringcalib::exporting {

struct ExportCamera {
  rig::FisheyeCamera lens;  // in pixels of the still
  cv::Size still;
  std::string stillPath;    // absolute
};

// A ring of N cameras: camera n and pair n = (n, n + 1 mod N) for n < N.
struct ExportRig {
  std::vector<ExportCamera> cameras;
  std::vector<rig::PairPose> pairs;                      // as the file holds them (rig/ring.h)
  rig::PoseFrame poseFrame = rig::PoseFrame::kPrepared;  // the frames the poses are given in
};

// Reads the parameter file at `paramsPath` (never writing it) and the sizes of
// `stillsDir`/origin_<n>.jpg. N is the file's number of cameras. Returns a result code: 2 when
// the file cannot be opened, 4 when it is not a parameter document, its cameras are not
// origin_0 ... origin_<N-1> with N of a ring (InputParam::kMinCameras to kMaxCameras), its
// "pose_frame" names no frame the tool knows, or it lacks a camera's intrinsics or a pair's
// pose (or holds a pose that is not finite), or a camera's intrinsics do not fit its still
// (another aspect, or values that are not finite or belong to another camera:
// rig/camera_still.h), 5 for another version than 1, 7 for a missing or unreadable still; a
// line on `errors` names the file, camera or pair.
int readExportRig(const std::string& paramsPath, const std::string& stillsDir, ExportRig& rig,
                  std::ostream& errors);

}  // namespace ringcalib::exporting
