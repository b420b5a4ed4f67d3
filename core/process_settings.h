#pragma once

namespace ringcalib {

// Settings of the whole process that the tools make before any work.

// Sets OpenCV's thread count, which the tools' own workers follow too, from the variable
// OPENCV_FOR_THREADS_NUM, as OpenCV's own back ends read it: its TBB back end, Debian's
// build, does not. OPENCV_FOR_THREADS_NUM=1 runs everything on one thread. A value that is
// not a positive number is ignored.
void applyThreadCountFromEnvironment();

// Keeps OpenCV's own log lines (warnings of the video back ends probing a file, for example)
// off standard error, where the tool prints only its parser's errors; every failure that
// matters is reported on standard output with its code. OPENCV_LOG_LEVEL still rules when set.
void silenceLibraryLog();

// Keeps freed memory for the next allocation instead of handing it back to the system. The
// jobs free and allocate image buffers of the same sizes again and again (a view, a flow
// field, a frame per camera or pair); memory handed back costs the first touch of each of its
// pages again when it comes back, about 3 s per GiB here. Nothing computed changes. Call it
// before any thread starts.
void keepFreedMemory();

// Hands the memory kept so far back to the system: between two jobs of one run, whose buffers
// have other sizes, so that the second does not come on top of what the first kept.
void releaseFreedMemory();

}  // namespace ringcalib
