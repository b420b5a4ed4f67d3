#include "tools/pose_frames.h"

#include "rig/prepared_view.h"

namespace ringcalib::synth {

rig::PairPose fileToCameraFrames(const rig::PairPose& filePose) {
  const rig::PairPose prepared = rig::fromFileConvention(filePose);
  const cv::Matx33d Q = rig::quarterTurn();
  return {Q.t() * prepared.R * Q, Q.t() * prepared.t};
}

rig::PairPose cameraToFileFrames(const rig::PairPose& cameraPose) {
  const cv::Matx33d Q = rig::quarterTurn();
  return rig::toFileConvention({Q * cameraPose.R * Q.t(), Q * cameraPose.t});
}

}  // namespace ringcalib::synth
