#pragma once

#include <mutex>
#include <vector>

namespace ringcalib::intrinsic {

// Hands the cameras 0 ... count - 1 out to the workers of the intrinsic job. Each worker
// owns a contiguous range, examined in order, so that the back-off counter of the cheap
// board test flows from one camera into the next on the same worker: only the first camera
// of a range can start before the counter it starts with is known. A worker whose range is
// used up takes the later half (rounded up) of the largest range with cameras left to start.
class CameraRanges {
 public:
  CameraRanges(int count, int workers);

  // The next camera for `worker` to examine, or -1 when none is left to start.
  int next(int worker);

 private:
  std::mutex mutex_;
  std::vector<int> next_;  // per worker: the next camera of its range to start
  std::vector<int> end_;   // per worker: one past the last camera of its range
};

}  // namespace ringcalib::intrinsic
