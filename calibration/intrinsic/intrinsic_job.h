#pragma once

#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "rig/lens_covariance.h"
#include "core/input_param.h"
#include "core/result.h"
#include "report/report_data.h"
#include "rig/parameter_document.h"
#include "rig/ring.h"

// The intrinsic job: checkerboard videos of the ring's cameras to fisheye K and D.
//
// For each camera every fourth frame of its videos is screened by a cheap board test on a
// small copy, searched at a reduced size and refined at full size, checked for contrast and
// straight rows and columns (board_detection.h). The corners of the accepted views are cut to
// the central circle (corner_selection.h) and solved into the equidistant fisheye model
// (fisheye_solve.h).
//
// The cameras are examined concurrently by cv::getNumThreads() workers (at most one per
// camera; camera_examination.h), each video decoded ahead on a thread of its own
// (frame_reader.h). The calling thread prints everything in the order of the cameras and
// frames, as it becomes known (camera_output.h), so that standard output, the parameter file
// and the report are the same bytes on any number of threads; the frames examined are the
// ones one thread examines with the process-wide back-off.
namespace ringcalib::intrinsic {

struct JobSettings {
  // Where the job records what a calibration report shows. Null records nothing and costs
  // nothing; the job computes and prints the same either way.
  report::CalibrationReport* report = nullptr;
  // The board's inner corners to look for (9 x 12 unless given). A board that was given is
  // named in one more line when a camera's videos never show it.
  std::optional<cv::Size> board;
  // --cameras: the ring's number of cameras, videos origin_0.mp4 ... origin_<N-1>.mp4.
  int cameras = rig::kCameras;
};

// Runs the job on the --video folders and writes the parameter file. Returns a result code
// (core/result_code.h), on success with the covariance of each camera's intrinsics (nullopt
// where the views left it undetermined), which an "all" run hands to the ring adjustment. On
// failure the earlier file stays as it was.
Result<rig::LensCovariances> calibrate(const std::vector<std::string>& videoPaths,
                                          const std::string& file,
                                          InputParam::CalibrationType type,
                                          const JobSettings& settings);

// Enters camera `id`'s K and D, for video frames of `frameSize`, into the document. Returns
// 0, or 6 after printing "write intrinsic param failed : " and the library's text.
int writeCameraParams(rig::ParameterDocument& document, const cv::Matx33d& K, const cv::Vec4d& D,
                      int id, cv::Size frameSize = rig::kStandardFrameSize);

}  // namespace ringcalib::intrinsic
