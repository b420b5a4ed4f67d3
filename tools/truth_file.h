#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "rig/parameter_document.h"
#include "tools/rig_truth.h"
#include "tools/synthetic_rig.h"

namespace ringcalib::synth {

// truth.json: the options the rig was made with, each camera's K (row-major) and D at video
// resolution, and each pair's pose next to the geometric pose; with the poses in the cameras'
// own frames, "pose_frame": "camera" as in the parameter file. `variant`'s members are added as
// they are (a varied rig's description, the layout of another ring).
void writeTruthFile(const std::string& path, const RigTruth& truth, const GeometricPairs& geometric,
                    const RigOptions& options, const nlohmann::json& variant = nlohmann::json::object());
// The cameras (their frame size from "video_size"), the pairs and their frames.
RigTruth readTruthFile(const std::string& path);

// The entries of "pairs": first and second camera, R (row-major) and t, geometric_R and
// geometric_t.
nlohmann::json pairEntries(const std::vector<PairTruth>& pairs, const GeometricPairs& geometric);

// The parameter file an exact intrinsic run would write for the rig: version 1 and each
// camera's K and D at video resolution. Lets the extrinsic job run on the truth intrinsics
// alone.
rig::ParameterDocument truthParameterDocument(const RigTruth& truth);
GeometricPairs readGeometricPairs(const std::string& path);

}  // namespace ringcalib::synth
