#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "rig/ring.h"

namespace ringcalib::synth {

// How each camera's sensor is mounted about its optical axis, seen from behind the camera.
enum class SensorMount {
  kQuarterTurned,           // turned a quarter: the world's up points to the right of the raw still
  kUpright,                 // not turned: up is up in the still
  kQuarterTurnedOtherWay,   // turned a quarter the other way: up points to the left of the still
};

// The ring's layout. The standard layout (six cameras, turned a quarter, level, evenly spaced)
// is the one whose pairs are given in the prepared views' frames of rig/ring.h; every other
// layout gives them in the cameras' own sensor frames.
struct RingLayout {
  int cameras = rig::kCameras;       // 3 to 8, 360° / cameras apart
  double tiltDegrees = 0.0;          // common tilt about each camera's horizontal axis, up positive
  double spacingJitterDegrees = 0.0; // each bearing moved by an amount drawn within ± this
  SensorMount mount = SensorMount::kQuarterTurned;

  bool isStandard() const;
};

// What is wrong with the layout (a value out of range), or empty.
std::string layoutProblem(const RingLayout& layout);

// The mounting's turn from the sensor frame to the camera's upright view frame: X_view = M X_sensor
// (rig::quarterTurn for the quarter-turned mounting).
cv::Matx33d viewFromSensor(SensorMount mount);

// The name truth.json gives the mounting.
std::string mountName(SensorMount mount);

// Each camera's bearing in radians, clockwise seen from above from camera 0's nominal
// direction: n · 360° / cameras, moved by its drawn jitter.
std::vector<double> ringBearings(std::uint64_t seed, const RingLayout& layout);

}  // namespace ringcalib::synth
