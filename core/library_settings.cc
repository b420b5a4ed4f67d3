#include "core/library_settings.h"

#include <cstdlib>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>

namespace ringcalib {

void applyThreadCountFromEnvironment() {
  const char* value = std::getenv("OPENCV_FOR_THREADS_NUM");
  if (value == nullptr) return;
  char* end = nullptr;
  const long threads = std::strtol(value, &end, 10);
  if (end != value && *end == '\0' && threads > 0 && threads <= 1024) {
    cv::setNumThreads(static_cast<int>(threads));
  }
}

void silenceLibraryLog() {
  if (std::getenv("OPENCV_LOG_LEVEL") != nullptr) return;
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
}

}  // namespace ringcalib
