#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/rig_truth.h"

namespace ringcalib::synth {

// One camera of a parameter file against the truth; `found` is false when the file has no
// usable intrinsics for it.
struct CameraComparison {
  bool found = false;
  double modelRmsPx = 0.0;              // projectionRmsError within 80°
  cv::Vec4d differences;                // estimated − true: fx, fy, cx, cy
};

// One pair (n, n + 1 mod N), from camera n's pose in the file.
// Against the truth's pose in the tool's convention (the pose the pairwise method fits to
// exact pixels), and against the geometric pose turned into the file's convention
// (rig::toFileConvention: R' = Q R Q^T, t' = Q t), the yardstick of the ring adjustment. A
// truth in the cameras' own frames is the geometry itself, both columns alike.
struct PairComparison {
  bool found = false;
  double rotationDeg = 0.0;
  double directionDeg = 0.0;
  double geometricRotationDeg = 0.0;
  double geometricDirectionDeg = 0.0;
};

struct RigComparison {
  std::vector<CameraComparison> cameras;
  std::vector<PairComparison> pairs;
  // The file holds poses in the other frames than the truth's ("pose_frame"), turned into the
  // truth's before comparing.
  bool posesConverted = false;
  bool posesInCameraFrames = false;  // the truth's frames
  int extraCameras = 0;              // cameras of the file beyond the truth's
  bool allCamerasFound() const;
};

// Reads the calibration tool's parameter file and compares it with the truth. Throws
// std::runtime_error naming the file when it cannot be opened or is not JSON.
RigComparison compareParameterFile(const RigTruth& truth, const GeometricPairs& geometric,
                                   const std::string& paramsPath);

// The short table: one line per camera, one per pair ("not in file" where absent), after a
// line saying so when the file's poses were converted into the truth's frames.
void printComparison(std::ostream& out, const RigComparison& comparison);

}  // namespace ringcalib::synth
