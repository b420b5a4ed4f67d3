#pragma once

#include <functional>
#include <vector>

namespace ringcalib::synth {

// Runs every task once on up to cv::getNumThreads() threads, each thread taking the next
// task in list order (so put the longest first). Once a task has thrown, no further task
// starts; after the running ones have ended, the failure of the earliest failed task in the
// list is rethrown. Tasks must not depend on the order in which they run.
void runConcurrently(const std::vector<std::function<void()>>& tasks);

}  // namespace ringcalib::synth
