#include "core/job_guard.h"

#include <algorithm>
#include <iostream>
#include <new>

#include <opencv2/core.hpp>

#include "core/result_code.h"

namespace ringcalib {
namespace {

std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::string describeException(const std::exception& e) {
  if (const auto* cvError = dynamic_cast<const cv::Exception*>(&e)) {
    std::string text = "image library error: " + oneLine(cvError->err);
    if (!cvError->func.empty()) text += " (in " + cvError->func + ")";
    return text;
  }
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return "out of memory";
  return oneLine(e.what());
}

int runGuarded(const std::string& job, const std::function<int()>& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    std::cout << job << " failed: " << describeException(e) << std::endl;
  } catch (...) {
    std::cout << job << " failed: unknown error" << std::endl;
  }
  return kComputationFailed;
}

}  // namespace ringcalib
