#pragma once

#include <array>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tools/rig_truth.h"
#include "tools/still_effects.h"
#include "tools/synthetic_rig.h"

namespace ringcalib::synth {

// True when the options ask for no departure from the standard rig.
bool isStandardRig(const RigOptions& options);

// What is wrong with the departures from the standard rig (a value out of range), or empty.
std::string variantProblem(const RigOptions& options);

// The factor on the lenses' focal lengths of the rig (1 when not varied).
double drawnFocalScale(const RigOptions& options);

// The turned rig's pair truth, same convention as the rig's own.
struct TurnedPairs {
  std::array<PairTruth, rig::kCameras> pairs;
  GeometricPairs geometric;
};

// truth.json's members for a varied rig: "variant" (the options, the values drawn from them,
// each camera's still effects) and, with a turned camera, "turned_pairs" beside the calibrated
// rig's "pairs", in the same form. Empty for the standard rig.
nlohmann::json variantTruthMembers(const RigOptions& options, double ringRadius,
                                   const std::array<StillEffects, rig::kCameras>& effects, const std::optional<TurnedPairs>& turned);

}  // namespace ringcalib::synth
