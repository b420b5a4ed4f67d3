// ringcalib-compare: compares a parameter file of the calibration tool with a rig's truth.
#include <iostream>

#include <tclap/CmdLine.h>

#include "core/result_code.h"
#include "core/version.h"
#include "tools/parameter_comparison.h"
#include "tools/synthetic_rig.h"
#include "tools/truth_file.h"

int main(int argc, char** argv) {
  std::string truthPath, paramsPath;
  try {
    TCLAP::CmdLine cmd("Compare a camera parameter file with the truth of a synthetic rig", ' ', ringcalib::kVersion);
    TCLAP::ValueArg<std::string> truthArg("", "truth", "truth.json of the rig", true, "", "path", cmd);
    TCLAP::ValueArg<std::string> paramsArg("", "params", "parameter file written by ringcalib", true, "", "path", cmd);
    cmd.parse(argc, argv);
    truthPath = truthArg.getValue();
    paramsPath = paramsArg.getValue();
  } catch (const TCLAP::ArgException& e) {
    std::cerr << "error: " << e.error() << " for " << e.argId() << std::endl;
    return ringcalib::kCommandLineError;
  }
  try {
    const ringcalib::synth::RigTruth truth = ringcalib::synth::readTruth(truthPath);
    const ringcalib::synth::RigComparison comparison = ringcalib::synth::compareParameterFile(
        truth, ringcalib::synth::readGeometricPairs(truthPath), paramsPath);
    ringcalib::synth::printComparison(std::cout, comparison);
    if (comparison.extraCameras > 0) {
      std::cerr << "error: " << paramsPath << " holds " << comparison.cameras.size() + comparison.extraCameras
                << " cameras, the rig " << comparison.cameras.size() << std::endl;
      return ringcalib::kBadParameterFile;
    }
    if (!comparison.allCamerasFound()) {
      std::cerr << "error: " << paramsPath << " lacks the intrinsic parameters of some cameras" << std::endl;
      return ringcalib::kBadParameterFile;
    }
  } catch (const std::exception& e) {
    std::cerr << "error: " << e.what() << std::endl;
    return ringcalib::kCannotOpen;
  }
  return ringcalib::kSuccess;
}
