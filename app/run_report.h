#pragma once

#include <string>

#include "report/report_data.h"

// The calibration report of one run when --report names a folder. The jobs record into it
// through record(), which is null without --report so that they then do no report work at
// all; it is written once the last job has ended, whatever that job's code.
class RunReport {
 public:
  explicit RunReport(std::string folder) : folder_(std::move(folder)) {}

  // Creates the folder before any job runs, so that a long run cannot end without the
  // report it was asked for. Returns 0, or 2 after "Can not create report folder : " and
  // the folder. Without --report it does nothing and returns 0.
  int prepare();

  ringcalib::report::CalibrationReport* record() { return folder_.empty() ? nullptr : &report_; }

  // Notes how a job ended.
  void jobEnded(ringcalib::report::Job job, int code);

  // Writes the folder. A failure is one line on standard error: the run's own output,
  // file and code stay what they are.
  void write();

 private:
  std::string folder_;
  ringcalib::report::CalibrationReport report_;
};
