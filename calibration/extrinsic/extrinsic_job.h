#pragma once

#include <string>
#include <vector>

#include "adjust/ring_input.h"
#include "core/input_param.h"
#include "report/report_data.h"
#include "rig/ring.h"

// The extrinsic job: one still per camera to the relative pose of each neighbouring pair,
// its stages (stages.h) run in a row.
namespace ringcalib::extrinsic {

struct JobSettings {
  // Where the job records what a calibration report shows. Null records nothing and costs
  // nothing; the job computes and prints the same either way.
  report::CalibrationReport* report = nullptr;
  // --ring-adjust: after the pairs the poses are adjusted together (adjust/) and the
  // adjusted poses stored instead.
  bool ringAdjust = false;
  // --cameras: the ring's number of cameras.
  int cameras = rig::kCameras;
  // The covariance of each camera's intrinsics from the intrinsic job of the same run: with
  // every camera's, the ring adjustment's sigma carries the intrinsics' share. None from a file
  // (their uncertainty is not known).
  rig::LensCovariances lensCovariances;
};

// Runs the job on the first --image folder and rewrites the parameter file with the pairs'
// poses added, once they close the ring. Returns a result code (core/result_code.h); on
// failure the file stays as it was.
int calibrate(const std::vector<std::string>& imagePaths, const std::string& file,
              InputParam::CalibrationType type, const JobSettings& settings);

}  // namespace ringcalib::extrinsic
