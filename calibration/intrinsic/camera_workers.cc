#include "calibration/intrinsic/camera_workers.h"

#include <algorithm>

#include <opencv2/core.hpp>

#include "calibration/intrinsic/camera_examination.h"

namespace ringcalib::intrinsic {
namespace {

int workerCount(int cameras) { return std::clamp(cv::getNumThreads(), 1, cameras); }

}  // namespace

CameraWorkers::CameraWorkers(const std::vector<std::string>& folders, SharedCameras& shared,
                             bool reporting, const std::ostream& format)
    : shared_(shared), ranges_(static_cast<int>(shared.cameras.size()), workerCount(static_cast<int>(shared.cameras.size()))) {
  const int count = workerCount(static_cast<int>(shared.cameras.size()));
  try {
    for (int worker = 0; worker < count; ++worker) {
      threads_.emplace_back([this, worker, &folders, reporting, &format] {
        CameraExaminer examiner(folders, shared_, reporting, format);
        for (int camera = ranges_.next(worker); camera >= 0; camera = ranges_.next(worker)) {
          examiner.examine(camera);
        }
        while (examiner.solveWaitingCamera()) {
        }
      });
    }
  } catch (...) {
    stop();  // a thread that cannot be started ends the job; those started end with it
    throw;
  }
}

CameraWorkers::~CameraWorkers() { stop(); }

void CameraWorkers::stop() {
  {
    // Under the lock, so that a worker waiting for a camera to solve cannot miss it.
    std::lock_guard<std::mutex> lock(shared_.mutex);
    shared_.lastNeeded = -1;
  }
  shared_.changed.notify_all();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

}  // namespace ringcalib::intrinsic
