#pragma once

#include <string>

#include "report/report_data.h"

namespace ringcalib::report {

// Writes the report into `folder`, creating it (and its parents) when missing: the
// pictures first, then report.json and last index.html, which refers only to pictures
// that were written. Returns true, or false with one line in `error` that names the file
// or folder that could not be written.
bool writeReport(const CalibrationReport& report, const std::string& folder,
                 std::string& error);

}  // namespace ringcalib::report
