#include "calibration/camera_records.h"

#include <algorithm>

namespace ringcalib::intrinsic {

SharedCameras::SharedCameras(int processCounter) {
  for (std::atomic<int>& counter : start) counter = kUnknownCounter;
  start[0] = processCounter;
}

void SharedCameras::settleStarts() {
  for (int camera = 0; camera < kCameraCount; ++camera) {
    if (start[camera + 1] != kUnknownCounter) continue;
    const CameraRecord& record = cameras[camera];
    // A camera that stops the job tells no start: nothing after it runs.
    if (!record.examined || record.stop != CameraStop::kNone || record.runs.empty()) return;
    int end = kUnknownCounter;
    if (const BackOffRun* run = runStartingWith(record, start[camera])) {
      end = run->counter;
    } else if (std::all_of(record.runs.begin(), record.runs.end(), [&](const BackOffRun& run) {
                 return run.counter == record.runs.front().counter;
               })) {
      end = record.runs.front().counter;
    } else {
      return;
    }
    start[camera + 1] = end;
  }
}

const BackOffRun* runStartingWith(const CameraRecord& record, int start) {
  for (const BackOffRun& run : record.runs) {
    if (run.start == start) return &run;
  }
  return nullptr;
}

}  // namespace ringcalib::intrinsic
