#include "tools/camera_turn.h"

#include <opencv2/calib3d.hpp>

namespace ringcalib::synth {

std::vector<RingCamera> turnedRing(std::vector<RingCamera> ring, const CameraTurn& turn) {
  cv::Vec3d rotationVector(0.0, 0.0, 0.0);
  rotationVector[turn.axis] = turn.degrees * CV_PI / 180.0;
  cv::Matx33d turnedToPrepared;
  cv::Rodrigues(rotationVector, turnedToPrepared);
  // The camera's axes turn by T in its own frame: its prepared-to-world becomes (W · T).
  RingCamera& camera = ring[static_cast<size_t>(turn.camera)];
  camera.worldToPrepared = turnedToPrepared.t() * camera.worldToPrepared;
  return ring;
}

}  // namespace ringcalib::synth
