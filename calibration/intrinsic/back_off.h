#pragma once

// The back-off of the cheap board test. A board that the cheap test misses is usually
// missing from the next sampled frames too, so after a failed test the next three sampled
// frames are skipped without image work and the fourth is tested again.
//
// The counter is 0 when the next sample is tested, 1 after a failed test, and grows by one
// with every sample skipped; at 4 the next sample is tested again. One counter runs
// through all videos of all cameras of a process: it is neither reset between videos nor
// between cameras, so how one video ends decides which frames of the next are tested.
namespace ringcalib::back_off {

// Whether a sample met with counter value `counter` is tested.
inline bool testsNext(int counter) { return counter == 0 || counter == 4; }

// The counter after a sample met with `counter`; `boardSeen` (the test's outcome) is read
// only when the sample was tested.
inline int after(int counter, bool boardSeen) {
  if (!testsNext(counter)) return counter + 1;
  return boardSeen ? 0 : 1;
}

// The process-wide counter.
int& processCounter();

}  // namespace ringcalib::back_off
