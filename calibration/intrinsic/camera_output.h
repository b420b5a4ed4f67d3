#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "calibration/intrinsic/camera_records.h"
#include "core/result.h"
#include "report/report_data.h"

// The intrinsic job's printing thread, one camera at a time: what the workers found of the
// camera, printed in the order one thread would have printed it.
namespace ringcalib::intrinsic {

// A camera's solve as the job enters it: K and D for video frames of `frameSize`.
struct SolvedCamera {
  FisheyeSolution lens;
  cv::Size frameSize;
};

// How the printing thread prints a camera.
struct CameraPrinting {
  const std::vector<std::string>& videoPaths;
  double scale;                 // the job's share of the run's progress
  const std::ostream& format;   // the solves' output formatting
  bool boardGiven;              // --board: a board never found is named
  report::CalibrationReport* report;  // null: nothing recorded
};

// Prints camera `camera`'s part of the output as its worker reads and examines it, and gives
// its solve; fails with the code the job stops with. Every camera before it must have been
// taken.
Result<SolvedCamera> takeCamera(int camera, SharedCameras& shared, const CameraPrinting& printing);

// Standard output stays in fixed-point notation from the first progress line on.
void printProgress(double value);

}  // namespace ringcalib::intrinsic
