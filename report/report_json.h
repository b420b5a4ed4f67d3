#pragma once

#include <nlohmann/json.hpp>

#include "report/assessment.h"
#include "report/report_data.h"
#include "report/report_files.h"

namespace ringcalib::report {

// The machine-readable report. Numbers are the recorded doubles themselves (the library
// prints the shortest text that reads back to the same double); a value that was not
// measured is null.
nlohmann::json reportToJson(const CalibrationReport& report, const Assessment& assessment,
                            const FigureFiles& figures);

}  // namespace ringcalib::report
