#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/rig_truth.h"
#include "tools/still_effects.h"
#include "tools/synthetic_rig.h"

namespace ringcalib::synth {

// True when the options ask for no departure from the standard rig.
bool isStandardRig(const RigOptions& options);

// What is wrong with the departures from the standard rig or its layout (a value out of range,
// options that exclude each other), or empty.
std::string variantProblem(const RigOptions& options);

// The factor on the lenses' focal lengths of the rig (1 when not varied).
double drawnFocalScale(const RigOptions& options);

// The turned rig's pair truth, same convention as the rig's own.
struct TurnedPairs {
  std::vector<PairTruth> pairs;
  GeometricPairs geometric;
};

// truth.json's members for a varied rig: "variant" (the options, the values drawn from them,
// each camera's still effects) and, with a turned camera, "turned_pairs" beside the calibrated
// rig's "pairs", in the same form. Empty for the standard rig.
nlohmann::json variantTruthMembers(const RigOptions& options, double ringRadius,
                                   const std::vector<StillEffects>& effects, const std::optional<TurnedPairs>& turned);

// truth.json's "layout" for a ring other than the standard one or with circular fisheyes: the
// number of cameras, the mounting, the tilt, the spacing jitter and each camera's bearing in
// degrees (ringBearings), and the circular lenses' field. Empty for the standard ring.
nlohmann::json layoutTruthMembers(const RigOptions& options);

}  // namespace ringcalib::synth
