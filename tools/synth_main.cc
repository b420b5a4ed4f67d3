// ringcalib-synth: renders a synthetic six-camera rig (checkerboard videos, ring stills) and
// its truth.
#include <chrono>
#include <iostream>

#include <tclap/CmdLine.h>

#include "core/result_code.h"
#include "core/process_settings.h"
#include "core/version.h"
#include "tools/synthetic_rig.h"
#include "tools/truth_compare.h"
#include "tools/truth_file.h"

int main(int argc, char** argv) {
  ringcalib::applyThreadCountFromEnvironment();
  ringcalib::synth::RigOptions options;
  std::string outDir;
  try {
    TCLAP::CmdLine cmd("Render a synthetic ring of six fisheye cameras and its truth", ' ', ringcalib::kVersion);
    TCLAP::ValueArg<std::string> outArg("", "out", "output folder (video/, image/, truth.json)", true, "", "dir", cmd);
    TCLAP::ValueArg<std::uint64_t> seedArg("", "seed", "random seed", false, options.seed, "N", cmd);
    TCLAP::ValueArg<int> framesArg("", "frames", "frames per video", false, options.framesPerVideo, "N", cmd);
    TCLAP::ValueArg<int> widthArg("", "width", "video width in pixels", false, options.videoWidth, "W", cmd);
    TCLAP::ValueArg<int> heightArg("", "height", "video height in pixels", false, options.videoHeight, "H", cmd);
    TCLAP::ValueArg<double> absentArg(
        "", "absent",
        "share of each video (0 to 1) in which the board is out of view and only the empty surround is seen, in "
        "stretches at the start, in the middle and at the end; 0 keeps the board in view throughout",
        false, options.absentFraction, "fraction", cmd);
    TCLAP::SwitchArg noVideoArg("", "no-video", "do not write the videos", cmd);
    TCLAP::SwitchArg noImageArg("", "no-image", "do not write the stills", cmd);
    cmd.parse(argc, argv);
    outDir = outArg.getValue();
    options.seed = seedArg.getValue();
    options.framesPerVideo = framesArg.getValue();
    options.videoWidth = widthArg.getValue();
    options.videoHeight = heightArg.getValue();
    options.absentFraction = absentArg.getValue();
    options.videos = !noVideoArg.getValue();
    options.images = !noImageArg.getValue();
  } catch (const TCLAP::ArgException& e) {
    std::cerr << "error: " << e.error() << " for " << e.argId() << std::endl;
    return ringcalib::kCommandLineError;
  }
  try {
    const auto start = std::chrono::steady_clock::now();
    const ringcalib::synth::RigTruth truth = ringcalib::synth::generateRig(outDir, options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "rig written to " << outDir << " in " << seconds << " s" << std::endl;
    // How far the truth in the tool's pixel convention lies from the prepared frames' geometry.
    const ringcalib::synth::GeometricPairs geometric = ringcalib::synth::readGeometricPairs(outDir + "/truth.json");
    for (size_t n = 0; n < geometric.size(); ++n) {
      std::cout << "pair " << n << "-" << (n + 1) % geometric.size() << ": tool-convention truth differs from the geometric pose by "
                << ringcalib::rig::rotationErrorDeg(truth.pairs[n].R, geometric[n].R) << " deg (rotation), "
                << ringcalib::rig::directionErrorDeg(truth.pairs[n].t, geometric[n].t) << " deg (direction)" << std::endl;
    }
  } catch (const std::exception& e) {
    std::cerr << "error: " << e.what() << std::endl;
    return ringcalib::kComputationFailed;
  }
  return ringcalib::kSuccess;
}
