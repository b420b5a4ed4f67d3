#include "tools/parameter_comparison.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "core/result_code.h"
#include "rig/parameter_document.h"
#include "rig/ring_frame.h"
#include "tools/truth_compare.h"

namespace ringcalib::synth {

bool RigComparison::allCamerasFound() const {
  for (const CameraComparison& c : cameras)
    if (!c.found) return false;
  return true;
}

RigComparison compareParameterFile(const RigTruth& truth, const GeometricPairs& geometric,
                                   const std::string& paramsPath) {
  rig::ParameterDocument document;
  std::ifstream in;
  const int code = document.load(in, paramsPath);
  if (code == kCannotOpen) throw std::runtime_error("cannot open " + paramsPath);
  if (code != kSuccess) throw std::runtime_error(paramsPath + " is not a parameter file (result code " + std::to_string(code) + ")");
  RigComparison result;
  result.cameras.resize(truth.cameras.size());
  result.pairs.resize(truth.pairs.size());
  result.posesInCameraFrames = truth.posesInCameraFrames;
  const nlohmann::json& content = document.content();
  rig::PoseFrame fileFrame;
  if (!document.findPoseFrame(fileFrame)) throw std::runtime_error(paramsPath + " names an unknown pose_frame");
  const rig::PoseFrame truthFrame = truth.posesInCameraFrames ? rig::PoseFrame::kCamera : rig::PoseFrame::kPrepared;
  const bool framesDiffer = fileFrame != truthFrame;
  for (int n = static_cast<int>(truth.cameras.size()); content.is_object() && content.contains(rig::ParameterDocument::cameraKey(n)); ++n)
    ++result.extraCameras;
  for (size_t n = 0; n < truth.cameras.size(); ++n) {
    const int camera = static_cast<int>(n);
    rig::FisheyeCamera found;
    if (document.findCamera(camera, found)) {
      const cv::Matx33d& K = found.K;
      const cv::Matx33d& T = truth.cameras[n].K;
      result.cameras[n] = {true, projectionRmsError(truth.cameras[n], K, found.D),
                           cv::Vec4d(K(0, 0) - T(0, 0), K(1, 1) - T(1, 1), K(0, 2) - T(0, 2), K(1, 2) - T(1, 2))};
    }
    rig::PairPose pose;
    if (document.findPose(camera, pose)) {
      if (framesDiffer) pose = rig::inPoseFrames(pose, fileFrame, truthFrame);
      result.posesConverted = framesDiffer;
      const rig::PairPose yardstick = truth.posesInCameraFrames ? geometric[n] : rig::toFileConvention(geometric[n]);
      result.pairs[n] = {true, rig::rotationErrorDeg(pose.R, truth.pairs[n].R),
                         rig::directionErrorDeg(pose.t, truth.pairs[n].t),
                         rig::rotationErrorDeg(pose.R, yardstick.R), rig::directionErrorDeg(pose.t, yardstick.t)};
    }
  }
  return result;
}

void printComparison(std::ostream& out, const RigComparison& comparison) {
  char line[160];
  if (comparison.posesConverted) {
    out << (comparison.posesInCameraFrames
                ? "poses: the file's in the prepared views' frames, the truth's in the cameras' own frames "
                  "(\"pose_frame\": \"camera\"); the file's turned into the truth's to compare\n"
                : "poses: the file's in the cameras' own frames (\"pose_frame\": \"camera\"), the truth's in the "
                  "prepared views' frames; the file's turned into the truth's to compare\n");
  }
  out << "camera  model RMS (px)      dfx      dfy      dcx      dcy\n";
  for (size_t n = 0; n < comparison.cameras.size(); ++n) {
    const CameraComparison& c = comparison.cameras[n];
    if (!c.found) {
      std::snprintf(line, sizeof line, "%6zu  not in file\n", n);
    } else {
      std::snprintf(line, sizeof line, "%6zu  %14.4f  %+7.3f  %+7.3f  %+7.3f  %+7.3f\n", n, c.modelRmsPx,
                    c.differences[0], c.differences[1], c.differences[2], c.differences[3]);
    }
    out << line;
  }
  out << "pair    rotation (deg)  direction (deg)  vs geometric: rotation  direction\n";
  for (size_t n = 0; n < comparison.pairs.size(); ++n) {
    const PairComparison& p = comparison.pairs[n];
    const int first = static_cast<int>(n);
    const int second = static_cast<int>((n + 1) % comparison.pairs.size());
    if (!p.found) {
      std::snprintf(line, sizeof line, "%4d-%d  not in file\n", first, second);
    } else {
      std::snprintf(line, sizeof line, "%4d-%d  %14.4f  %15.4f  %22.4f  %9.4f\n", first, second, p.rotationDeg,
                    p.directionDeg, p.geometricRotationDeg, p.geometricDirectionDeg);
    }
    out << line;
  }
}

}  // namespace ringcalib::synth
