#include "tools/concurrent_tasks.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>

#include <opencv2/core.hpp>

namespace ringcalib::synth {

void runConcurrently(const std::vector<std::function<void()>>& tasks) {
  std::vector<std::exception_ptr> failures(tasks.size());
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    for (size_t i = next++; i < tasks.size() && !failed; i = next++) {
      try {
        tasks[i]();
      } catch (...) {
        failures[i] = std::current_exception();
        failed = true;
      }
    }
  };
  // The calling thread is one of the workers.
  const size_t threads = std::min(tasks.size(), static_cast<size_t>(std::max(1, cv::getNumThreads())));
  std::vector<std::thread> helpers;
  for (size_t t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // fewer threads only take longer
    }
  }
  work();
  for (std::thread& helper : helpers) helper.join();
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
}

}  // namespace ringcalib::synth
