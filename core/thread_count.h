#pragma once

namespace ringcalib {

// Sets OpenCV's thread count, which the tools' own workers follow too, from the variable
// OPENCV_FOR_THREADS_NUM, as OpenCV's own back ends read it: its TBB back end, Debian's
// build, does not. OPENCV_FOR_THREADS_NUM=1 runs everything on one thread. A value that is
// not a positive number is ignored.
void applyThreadCountFromEnvironment();

}  // namespace ringcalib
