#include "calibration/intrinsic/camera_records.h"

#include <algorithm>

namespace ringcalib::intrinsic {

SharedCameras::SharedCameras(int cameras, int processCounter)
    : cameras(cameras), start(cameras + 1), lastNeeded(cameras - 1) {
  for (std::atomic<int>& counter : start) counter = kUnknownCounter;
  start[0] = processCounter;
}

void SharedCameras::settleStarts() {
  // One pass in camera order settles a chain: a camera's start may be settled a step before.
  // A camera not examined yet only breaks the chain at its own place: a later camera whose
  // runs all ended alike still tells the start of the one after it.
  for (int camera = 0; camera < static_cast<int>(cameras.size()); ++camera) {
    if (start[camera + 1] != kUnknownCounter) continue;
    const CameraRecord& record = cameras[camera];
    // A camera that stops the job tells no start: nothing after it runs.
    if (!record.examined || record.stop != CameraStop::kNone || record.runs.empty()) continue;
    if (const BackOffRun* run = runStartingWith(record, start[camera])) {
      start[camera + 1] = run->counter;
    } else if (std::all_of(record.runs.begin(), record.runs.end(), [&](const BackOffRun& run) {
                 return run.counter == record.runs.front().counter;
               })) {
      start[camera + 1] = record.runs.front().counter;
    }
  }
}

const BackOffRun* runStartingWith(const CameraRecord& record, int start) {
  for (const BackOffRun& run : record.runs) {
    if (run.start == start) return &run;
  }
  return nullptr;
}

}  // namespace ringcalib::intrinsic
