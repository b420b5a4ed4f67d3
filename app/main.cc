#include <iostream>
#include <optional>

#include "app/run_report.h"
#include "calibration/check/rig_check.h"
#include "calibration/extrinsic/extrinsic_job.h"
#include "calibration/intrinsic/intrinsic_job.h"
#include "core/input_param.h"
#include "core/process_settings.h"

int main(int argc, char** argv) {
  ringcalib::applyThreadCountFromEnvironment();
  ringcalib::silenceLibraryLog();
  ringcalib::keepFreedMemory();
  InputParam param(argc, argv);
  const int parsed = param.Parse();
  if (parsed != 0) return parsed;

  const InputParam::CalibrationType type = param.Type();
  if (type != InputParam::ALL && type != InputParam::INTRINSIC && type != InputParam::EXTRINSIC &&
      type != InputParam::CHECK) {
    return 1;  // a word that names no job is not reported
  }
  // Without --report, record() is null and the jobs do no report work.
  RunReport report(param.reportFolder());
  const int prepared = report.prepare();
  if (prepared != 0) return prepared;

  std::optional<cv::Size> board;
  if (param.boardGiven()) board = cv::Size(param.board().columns, param.board().rows);
  int code = 0;
  switch (type) {
    case InputParam::ALL: {
      const ringcalib::Result<ringcalib::rig::LensCovariances> intrinsic =
          ringcalib::intrinsic::calibrate(param.videoPaths(), param.file(), param.Type(),
                                          {report.record(), board, param.cameras()});
      code = intrinsic.code();
      report.jobEnded(ringcalib::report::Job::kIntrinsic, code);
      if (code != 0) {  // the extrinsic job needs the intrinsic file: no result line
        report.write();
        return code;
      }
      ringcalib::releaseFreedMemory();
      code = ringcalib::extrinsic::calibrate(param.imagePaths(), param.file(), param.Type(),
                                             {report.record(), param.ringAdjust(), param.cameras(), intrinsic.value()});
      report.jobEnded(ringcalib::report::Job::kExtrinsic, code);
      break;
    }
    case InputParam::INTRINSIC: {
      code = ringcalib::intrinsic::calibrate(param.videoPaths(), param.file(), param.Type(),
                                             {report.record(), board, param.cameras()})
                 .code();
      report.jobEnded(ringcalib::report::Job::kIntrinsic, code);
      break;
    }
    case InputParam::EXTRINSIC: {
      code = ringcalib::extrinsic::calibrate(param.imagePaths(), param.file(), param.Type(),
                                             {report.record(), param.ringAdjust(), param.cameras(), {}});
      report.jobEnded(ringcalib::report::Job::kExtrinsic, code);
      break;
    }
    case InputParam::CHECK: {
      code = ringcalib::check::checkRig(param.imagePaths(), param.file(),
                                        param.camerasGiven() ? param.cameras() : 0, report.record());
      report.jobEnded(ringcalib::report::Job::kCheck, code);
      break;
    }
  }
  report.write();
  std::cout << "result : " << code << std::endl;
  return code;
}
