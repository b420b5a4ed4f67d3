#include <iostream>
#include <memory>

#include "app/run_report.h"
#include "calibration/extrinsic_calibration.h"
#include "calibration/rig_check.h"
#include "calibration/video_calibration.h"
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

  const cv::Size board(param.board().columns, param.board().rows);
  int code = 0;
  switch (type) {
    case InputParam::ALL: {
      auto intrinsic = std::make_shared<VideoCalibration>();
      intrinsic->setReport(report.record());
      if (param.boardGiven()) intrinsic->setBoard(board);
      code = intrinsic->Calibrate(param.videoPaths(), param.file(), param.Type());
      report.jobEnded(ringcalib::report::Job::kIntrinsic, code);
      if (code != 0) {  // the extrinsic job needs the intrinsic file: no result line
        report.write();
        return code;
      }
      const ringcalib::rig::LensCovariances covariances = intrinsic->lensCovariances();
      intrinsic.reset();
      ringcalib::releaseFreedMemory();
      auto extrinsic = std::make_shared<ExtrinsicCalibration>();
      extrinsic->setReport(report.record());
      extrinsic->setRingAdjust(param.ringAdjust());
      extrinsic->setLensCovariances(covariances);
      code = extrinsic->Calibrate(param.imagePaths(), param.file(), param.Type());
      report.jobEnded(ringcalib::report::Job::kExtrinsic, code);
      break;
    }
    case InputParam::INTRINSIC: {
      auto intrinsic = std::make_shared<VideoCalibration>();
      intrinsic->setReport(report.record());
      if (param.boardGiven()) intrinsic->setBoard(board);
      code = intrinsic->Calibrate(param.videoPaths(), param.file(), param.Type());
      report.jobEnded(ringcalib::report::Job::kIntrinsic, code);
      break;
    }
    case InputParam::EXTRINSIC: {
      auto extrinsic = std::make_shared<ExtrinsicCalibration>();
      extrinsic->setReport(report.record());
      extrinsic->setRingAdjust(param.ringAdjust());
      code = extrinsic->Calibrate(param.imagePaths(), param.file(), param.Type());
      report.jobEnded(ringcalib::report::Job::kExtrinsic, code);
      break;
    }
    case InputParam::CHECK: {
      RigCheck check;
      check.setReport(report.record());
      code = check.Check(param.imagePaths(), param.file());
      report.jobEnded(ringcalib::report::Job::kCheck, code);
      break;
    }
  }
  report.write();
  std::cout << "result : " << code << std::endl;
  return code;
}
