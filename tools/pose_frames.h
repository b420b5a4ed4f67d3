#pragma once

#include "rig/pair_pose.h"

namespace ringcalib::synth {

// A pair's pose between the two conventions of the poses: the file's (the quarter-turned
// prepared views' frames of rig/ring.h, rig::toFileConvention) and the cameras' own sensor
// frames (X_prepared = Q X_sensor, Q = rig::quarterTurn). The tool's quarter turn holds for
// every mounting: it is how the tool reads a still, whichever way the sensor stands.
rig::PairPose fileToCameraFrames(const rig::PairPose& filePose);
rig::PairPose cameraToFileFrames(const rig::PairPose& cameraPose);

}  // namespace ringcalib::synth
