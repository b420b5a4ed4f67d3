#pragma once

#include <string>

#include "tools/rig_truth.h"
#include "tools/synthetic_rig.h"

namespace ringcalib::synth {

// truth.json: the options the rig was made with, each camera's K (row-major) and D at video
// resolution, and each pair's pose in the tool's convention next to the geometric pose.
void writeTruthFile(const std::string& path, const RigTruth& truth, const GeometricPairs& geometric,
                    const RigOptions& options);
RigTruth readTruthFile(const std::string& path);
GeometricPairs readGeometricPairs(const std::string& path);

}  // namespace ringcalib::synth
