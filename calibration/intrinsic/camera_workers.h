#pragma once

#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "calibration/intrinsic/camera_ranges.h"
#include "calibration/intrinsic/camera_records.h"

namespace ringcalib::intrinsic {

// The worker threads of the intrinsic job: cv::getNumThreads() of them, at most one per
// camera, each examining the cameras that CameraRanges hands it. Destroying the workers
// tells them that no camera is needed any more and waits for them: no thread outlives the
// job, whichever way it ends.
class CameraWorkers {
 public:
  CameraWorkers(const std::vector<std::string>& folders, SharedCameras& shared, bool reporting,
                const std::ostream& format);
  ~CameraWorkers();
  CameraWorkers(const CameraWorkers&) = delete;
  CameraWorkers& operator=(const CameraWorkers&) = delete;

 private:
  void stop();

  SharedCameras& shared_;
  CameraRanges ranges_;
  std::vector<std::thread> threads_;
};

}  // namespace ringcalib::intrinsic
