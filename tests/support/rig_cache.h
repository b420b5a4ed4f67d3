#pragma once

#include <string>

#include "tools/synthetic_rig.h"

namespace ringcalib::test {

// A generated rig shared by every test executable of one checkout, and by its sanitizer
// build: rendering full-size checkerboard videos takes minutes, so each set of options is
// rendered once into the cache folder (RINGCALIB_RIG_CACHE, set by the build) and read
// from there afterwards. Returns the rig's folder; `truth` receives its truth file.
std::string cachedRig(const synth::RigOptions& options, synth::RigTruth& truth);

}  // namespace ringcalib::test
