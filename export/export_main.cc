// ringcalib-export: a finished calibration as a Hugin project or as OpenCV stereo files.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <tclap/CmdLine.h>

#include "core/number_format.h"
#include "core/result_code.h"
#include "core/version.h"
#include "export/export_rig.h"
#include "export/hugin_project.h"
#include "export/opencv_pairs.h"
#include "rig/file_writer.h"

namespace {

using namespace ringcalib;

int exportHugin(const exporting::ExportRig& rig, const std::string& out) {
  for (const exporting::ExportCamera& camera : rig.cameras) {
    // A project names its images between double quotes, which no escape can hold.
    if (camera.stillPath.find_first_of("\"\n") != std::string::npos) {
      std::cerr << "error: a Hugin project cannot name the still " << camera.stillPath << std::endl;
      return kCommandLineError;
    }
  }
  const exporting::HuginProject project = exporting::huginProject(rig);
  // A folder, a file without write permission or a missing folder is refused as it stands;
  // an earlier project is replaced whole or kept.
  if (writeWholeFile(out, project.text) != kSuccess) {
    std::cerr << "error: cannot write " << out << std::endl;
    return kCannotOpen;
  }
  for (std::size_t n = 0; n < project.fits.size(); ++n) {
    std::cout << "camera " << n << ": lens fit largest error "
              << formatNumber("%.3f", project.fits[n].largestErrorPx) << " px" << std::endl;
  }
  return kSuccess;
}

int exportOpenCv(const exporting::ExportRig& rig, const std::string& out) {
  const std::vector<std::string> files = exporting::stereoPairFiles(rig);
  std::error_code error;
  std::filesystem::create_directories(out, error);
  if (!std::filesystem::is_directory(out)) {
    std::cerr << "error: cannot make the folder " << out << std::endl;
    return kCannotOpen;
  }
  // All are checked before the first is written, so that a refused one leaves the earlier
  // set as it was.
  std::vector<std::string> paths(files.size());
  for (std::size_t n = 0; n < files.size(); ++n) {
    paths[n] = out + "/" + exporting::stereoPairName(static_cast<int>(n));
    if (checkFileWritable(paths[n]) != kSuccess) {
      std::cerr << "error: cannot write " << paths[n] << std::endl;
      return kCannotOpen;
    }
  }
  for (std::size_t n = 0; n < files.size(); ++n) {
    if (writeWholeFile(paths[n], files[n]) != kSuccess) {
      std::cerr << "error: cannot write " << paths[n] << std::endl;
      return kCannotOpen;
    }
  }
  return kSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  std::string paramsPath, stillsDir, target, out;
  try {
    TCLAP::CmdLine cmd("Export a ringcalib calibration as a Hugin project or as OpenCV fisheye stereo files", ' ',
                       kVersion);
    std::vector<std::string> targets{"hugin", "opencv"};
    TCLAP::ValuesConstraint<std::string> allowed(targets);
    TCLAP::ValueArg<std::string> outArg("", "out", "hugin: the project file (.pto) to write; opencv: the folder "
                                        "to write pair_0.yaml ... pair_<N-1>.yaml into (N: the file's cameras)", true, "", "path", cmd);
    TCLAP::ValueArg<std::string> toArg("", "to", "hugin: a project for Hugin 2022 and nona; opencv: one "
                                       "cv::FileStorage file per pair for cv::fisheye::stereoRectify", true, "",
                                       &allowed, cmd);
    TCLAP::ValueArg<std::string> imageArg("i", "image", "folder of the stills origin_0.jpg ... origin_<N-1>.jpg "
                                          "(their sizes; Hugin's project names them)", true, "", "dir", cmd);
    TCLAP::ValueArg<std::string> fileArg("f", "file", "parameter file of a finished calibration (only read)", true,
                                         "", "path", cmd);
    cmd.parse(argc, argv);
    paramsPath = fileArg.getValue();
    stillsDir = imageArg.getValue();
    target = toArg.getValue();
    out = outArg.getValue();
  } catch (const TCLAP::ArgException& e) {
    std::cerr << "error: " << e.error() << " for " << e.argId() << std::endl;
    return kCommandLineError;
  }
  try {
    exporting::ExportRig rig;
    const int code = exporting::readExportRig(paramsPath, stillsDir, rig, std::cerr);
    if (code != kSuccess) return code;
    return target == "hugin" ? exportHugin(rig, out) : exportOpenCv(rig, out);
  } catch (const std::exception& e) {
    std::cerr << "error: " << e.what() << std::endl;
    return kComputationFailed;
  }
}
