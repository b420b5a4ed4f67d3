#pragma once

#include <string>

// Writing a whole file on disk so that it is never lost or left half written: the camera
// parameter file (its document is read, built and serialised in parameter_document.h) and
// the export's files. These steps only move bytes and report codes.
namespace ringcalib {

// Whether a file can be written at `path`, checked without creating or truncating anything,
// so that a job that fails later leaves an earlier file intact. It says yes exactly where
// writeWholeFile would try to write. Returns kSuccess or kCannotOpen.
int checkFileWritable(const std::string& path);

// Writes `text` as the whole file at `path`, called only once a job has succeeded, wherever
// opening the path for writing would work, symbolic links followed (a dangling one
// gets its target created).
// - A new file, or the user's own regular file with a single link and no extended
//   attributes: the bytes go to a temporary file beside it, flushed to disk and renamed over
//   it, so a crash leaves the earlier file or the new one, never a part. The replacement takes
//   the old file's group and mode; a new file gets 0666 less the umask.
// - Any other regular file is written in place (emptied, written, flushed to disk): a rename
//   would break its other links or give it another owner, group, access control list or
//   extended attributes. So is the user's own file when the copy cannot be made, cannot take
//   the file's group, mode and attributes, or cannot be renamed (a folder the user may not
//   write, a bind-mounted file): the file is untouched up to then. When the copy's bytes
//   cannot be written (a full disk, a file size limit), the file is left as it was and the
//   write fails: writing them in place would fail as well, with the earlier file lost.
// - A device or pipe (such as /dev/full) receives the bytes directly.
// A file without any write bit is never written, not even by root. Returns kSuccess, or
// kCannotOpen when anything fails.
int writeWholeFile(const std::string& path, const std::string& text);

}  // namespace ringcalib
