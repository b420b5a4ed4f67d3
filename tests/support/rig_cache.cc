#include "tests/support/rig_cache.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace ringcalib::test {

std::string cachedRig(const synth::RigOptions& options, synth::RigTruth& truth) {
  namespace fs = std::filesystem;
  char name[200];
  std::snprintf(name, sizeof name, "seed%llu-%dx%d-%df-%s%s-a%g-%s",
                static_cast<unsigned long long>(options.seed), options.videoWidth,
                options.videoHeight, options.framesPerVideo, options.videos ? "v" : "",
                options.images ? "i" : "", options.absentFraction, RINGCALIB_SYNTH_SOURCE_HASH);
  const fs::path folder = fs::path(RINGCALIB_RIG_CACHE) / name;
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
