#include "tests/support/rig_cache.h"

#include <unistd.h>

#include <filesystem>

namespace ringcalib::test {

std::string sharedRig(synth::RigTruth& truth) {
  synth::RigOptions options;
  options.seed = 3;
  options.framesPerVideo = 96;
  return cachedRig(options, "seed3-3200x2400-96f-vi", truth);
}

std::string cachedRig(const synth::RigOptions& options, const std::string& name, synth::RigTruth& truth) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(RINGCALIB_RIG_CACHE) / (name + "-" RINGCALIB_SYNTH_SOURCE_HASH);
  if (!fs::exists(folder / "truth.json")) {
    // Rendered aside and renamed into place, so that a test running at the same time never
    // sees half a rig; whichever rename comes second finds the folder taken and gives way.
    fs::create_directories(folder.parent_path());
    const fs::path partial = folder.string() + ".partial-" + std::to_string(::getpid());
    synth::generateRig(partial.string(), options);
    std::error_code taken;
    fs::rename(partial, folder, taken);
    if (taken) fs::remove_all(partial);
  }
  truth = synth::readTruth((folder / "truth.json").string());
  return folder.string();
}

}  // namespace ringcalib::test
