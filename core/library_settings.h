#pragma once

namespace ringcalib {

// The image library's settings a tool takes from its environment.

// Sets OpenCV's thread count, which the tools' own workers follow too, from the variable
// OPENCV_FOR_THREADS_NUM, as OpenCV's own back ends read it: its TBB back end, Debian's
// build, does not. OPENCV_FOR_THREADS_NUM=1 runs everything on one thread. A value that is
// not a positive number is ignored.
void applyThreadCountFromEnvironment();

// Keeps OpenCV's own log lines (warnings of the video back ends probing a file, for example)
// off standard error, where the tool prints only its parser's errors; every failure that
// matters is reported on standard output with its code. OPENCV_LOG_LEVEL still rules when set.
void silenceLibraryLog();

}  // namespace ringcalib
