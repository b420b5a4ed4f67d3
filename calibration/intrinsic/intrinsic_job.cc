// The intrinsic job: the workers examine and solve the cameras, this thread prints them in
// camera order and enters them into the document.
#include "calibration/intrinsic/intrinsic_job.h"

#include <iostream>
#include <sstream>

#include "calibration/intrinsic/back_off.h"
#include "calibration/intrinsic/camera_output.h"
#include "calibration/intrinsic/camera_workers.h"
#include "core/job_guard.h"
#include "core/result_code.h"
#include "rig/file_writer.h"
#include "rig/ring.h"

namespace ringcalib::intrinsic {

namespace {

int runJob(const std::vector<std::string>& videoPaths, const std::string& file,
           InputParam::CalibrationType type, const JobSettings& settings,
           rig::LensCovariances& covariances) {
  // The file is checked, not truncated: a run that fails keeps the earlier calibration.
  if (checkFileWritable(file) != kSuccess) return kCannotOpen;
  const double scale = type == InputParam::ALL ? 0.9 : 1.0;
  rig::ParameterDocument document;
  document.setVersion();

  // The solves print into buffers formatted as standard output is after the first
  // progress line, and their lines are copied to it in camera order.
  std::ostringstream format;
  format.copyfmt(std::cout);
  format.setf(std::ios::fixed, std::ios::floatfield);

  SharedCameras shared(settings.cameras, back_off::processCounter());
  if (settings.board) shared.board = *settings.board;
  CameraWorkers workers(videoPaths, shared, settings.report != nullptr, format);
  const CameraPrinting printing{videoPaths, scale, format, settings.board.has_value(),
                                settings.report};
  for (int camera = 0; camera < settings.cameras; ++camera) {
    const Result<SolvedCamera> solved = takeCamera(camera, shared, printing);
    if (!solved.ok()) return solved.code();
    const FisheyeSolution& lens = solved.value().lens;
    const int code = writeCameraParams(document, lens.K, lens.D, camera, solved.value().frameSize);
    if (code != kSuccess) return code;
    covariances[camera] = lens.covariance;
    printProgress((camera + 1) * (scale / settings.cameras));
  }

  if (document.write(file) != kSuccess) {
    std::cout << "Can not write camera parameter file : " << file << std::endl;
    return kCannotOpen;
  }
  return kSuccess;
}

}  // namespace

Result<rig::LensCovariances> calibrate(const std::vector<std::string>& videoPaths,
                                          const std::string& file,
                                          InputParam::CalibrationType type,
                                          const JobSettings& settings) {
  rig::LensCovariances covariances(settings.cameras);
  const int code = runGuarded("intrinsic calibration", [&] {
    return runJob(videoPaths, file, type, settings, covariances);
  });
  if (code != kSuccess) return Result<rig::LensCovariances>::failure(code);
  return covariances;
}

int writeCameraParams(rig::ParameterDocument& document, const cv::Matx33d& K, const cv::Vec4d& D,
                      int id, cv::Size frameSize) {
  try {
    document.setCamera(id, {K, D, frameSize});
  } catch (const std::exception& e) {
    std::cout << "write intrinsic param failed : " << e.what() << std::endl;
    return kCannotStoreValue;
  }
  return kSuccess;
}

}  // namespace ringcalib::intrinsic
