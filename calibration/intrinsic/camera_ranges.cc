#include "calibration/intrinsic/camera_ranges.h"

namespace ringcalib::intrinsic {

CameraRanges::CameraRanges(int count, int workers) {
  for (int worker = 0; worker < workers; ++worker) {
    next_.push_back(count * worker / workers);
    end_.push_back(count * (worker + 1) / workers);
  }
}

int CameraRanges::next(int worker) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (next_[worker] == end_[worker]) {
    int victim = -1;
    int mostLeft = 0;
    for (std::size_t other = 0; other < next_.size(); ++other) {
      const int left = end_[other] - next_[other];
      if (left > mostLeft) {
        mostLeft = left;
        victim = static_cast<int>(other);
      }
    }
    if (victim < 0) return -1;
    const int taken = (mostLeft + 1) / 2;
    end_[worker] = end_[victim];
    next_[worker] = end_[victim] - taken;
    end_[victim] -= taken;
  }
  return next_[worker]++;
}

}  // namespace ringcalib::intrinsic
