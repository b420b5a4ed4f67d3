#pragma once

#include <string>

#include "tools/synthetic_rig.h"

namespace ringcalib::test {

// A generated rig shared by every test executable of one checkout, and by its sanitizer
// build: rendering full-size checkerboard videos takes minutes, so each set of options is
// rendered once into the cache folder (RINGCALIB_RIG_CACHE, set by the build) and read
// from there afterwards. The folder's name holds the options and a hash of the generator's
// sources (RINGCALIB_SYNTH_SOURCE_HASH, also set by the build). Returns the rig's folder; `truth` receives its truth file.
// The rig most end-to-end tests share: full-size videos with enough frames for 20 views per
// camera with a margin, and default-size stills.
inline synth::RigOptions sharedRigOptions() {
  synth::RigOptions options;
  options.seed = 3;
  options.framesPerVideo = 128;
  return options;
}

std::string cachedRig(const synth::RigOptions& options, synth::RigTruth& truth);

}  // namespace ringcalib::test
