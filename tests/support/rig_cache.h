#pragma once

#include <string>

#include "tools/synthetic_rig.h"

namespace ringcalib::test {

// The rig the end-to-end tests share (seed 3, full-size videos of 96 frames, enough for 20
// views per camera with a margin, and default-size stills). Rendering takes minutes, so it is
// rendered once into the cache folder (RINGCALIB_RIG_CACHE, shared by every build of the
// checkout) and read from there afterwards, under a name that holds a hash of the
// generator's sources (RINGCALIB_SYNTH_SOURCE_HASH): an edited generator renders afresh.
// Returns the rig's folder and its truth.
std::string sharedRig(synth::RigTruth& truth);

// A rig of `options`, rendered once into the cache folder under `name` (which must tell the
// options apart) and the generator's hash, as the shared rig is.
std::string cachedRig(const synth::RigOptions& options, const std::string& name, synth::RigTruth& truth);

}  // namespace ringcalib::test
