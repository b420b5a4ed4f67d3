#include "app/run_report.h"

#include <filesystem>
#include <iostream>

#include "core/result_code.h"
#include "report/report_writer.h"

int RunReport::prepare() {
  if (folder_.empty()) return 0;
  std::error_code failure;
  std::filesystem::create_directories(folder_, failure);
  if (failure || !std::filesystem::is_directory(folder_)) {
    std::cout << "Can not create report folder : " << folder_ << std::endl;
    return ringcalib::kCannotOpen;
  }
  return 0;
}

void RunReport::jobEnded(ringcalib::report::Job job, int code) {
  if (!folder_.empty()) report_.jobs.push_back({job, code});
}

void RunReport::write() {
  if (folder_.empty()) return;
  std::string error;
  if (!ringcalib::report::writeReport(report_, folder_, error)) {
    std::cerr << "report not complete: " << error << std::endl;
  }
}
