#pragma once

#include <string>

#include "report/assessment.h"
#include "report/report_data.h"
#include "report/report_files.h"

namespace ringcalib::report {

// The page a person opens: one self-contained HTML document (styles inline, no scripts,
// nothing fetched) with the summary tables, the verdicts and the limits behind them, and
// the pictures named in `figures` (relative paths; empty names are left out).
std::string renderPage(const CalibrationReport& report, const Assessment& assessment,
                       const FigureFiles& figures);

// `text` with &, <, >, " and ' replaced by character references.
std::string escapeHtml(const std::string& text);

}  // namespace ringcalib::report
