#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "tools/rig_truth.h"

namespace ringcalib::test {

// The document an exact intrinsic run would store for a generated rig: "version" 1 and, for
// each camera, the truth's fx, fy, cx, cy and D at video resolution.
inline nlohmann::json truthParameterDocument(const synth::RigTruth& truth) {
  nlohmann::json document;
  document["version"] = 1;
  for (int n = 0; n < 6; ++n) {
    const synth::CameraTruth& camera = truth.cameras[n];
    auto& member = document["origin_" + std::to_string(n)];
    member["camera_matrix"] = {
        {"x", camera.K(0, 0)}, {"y", camera.K(1, 1)}, {"z", camera.K(0, 2)}, {"w", camera.K(1, 2)}};
    member["distortion_factor"] = {
        {"x", camera.D[0]}, {"y", camera.D[1]}, {"z", camera.D[2]}, {"w", camera.D[3]}};
  }
  return document;
}

}  // namespace ringcalib::test
