#include "rig/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <iostream>
#include <random>
#include <vector>

#include "rig/file_target.h"
#include "core/result_code.h"

namespace ringcalib {
namespace {

bool writeAll(int fd, const std::string& text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

// A regular file is emptied first and flushed to disk after; a device or pipe just takes the
// bytes.
bool writeInto(int fd, const std::string& text, bool regular) {
  return (!regular || ::ftruncate(fd, 0) == 0) && writeAll(fd, text) &&
         (!regular || ::fsync(fd) == 0);
}

bool writeInPlace(const std::string& path, const std::string& text, bool regular) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  const bool written = writeInto(fd, text, regular);
  const bool closed = ::close(fd) == 0;
  return written && closed;
}

// Creates a new, empty file next to `name` that no other process uses. The name's start is
// kept for whoever finds a leftover, cut short so that the suffix always fits.
int createTemporaryBeside(const std::string& name, std::string& tempPath) {
  std::random_device seed;
  std::mt19937_64 generator(seed());
  const std::string stem = parentFolder(name) + "/." + baseName(name).substr(0, 64) + ".tmp-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = stem + std::to_string(generator() % 1000000000ULL);
    // New files get 0666 less the umask, as a plain create would give them.
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Gives the new file the group and mode of the one it replaces, and tells whether it now
// looks the same to everyone who uses it.
bool takeOverLook(int fd, const struct stat& old) {
  struct stat made;
  if (::fstat(fd, &made) != 0) return false;
  // The group first: changing it clears a set-group-ID bit that the mode then restores.
  if (made.st_gid != old.st_gid && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    return false;
  }
  if (::fchmod(fd, old.st_mode & 07777) != 0 || ::fstat(fd, &made) != 0) return false;
  return made.st_uid == old.st_uid && made.st_gid == old.st_gid &&
         made.st_mode == old.st_mode && !hasExtendedAttributes(fd);
}

enum class Replaced { kDone, kNotPossible, kWriteFailed };

// Writes a complete copy beside the target and renames it over the target; on any failure
// the copy is removed and the target is as it was. kNotPossible: no copy could be made that
// looks like the target, or the rename was refused; kWriteFailed: the bytes could not be
// written or flushed (a full disk, a file size limit), where a write in place would fail too.
Replaced replaceByRename(const WriteTarget& target, const std::string& text) {
  std::string tempPath;
  const int fd = createTemporaryBeside(target.name, tempPath);
  if (fd < 0) return Replaced::kNotPossible;
  const bool alike = target.method == WriteMethod::kCreate || takeOverLook(fd, target.info);
  const bool written = alike && writeInto(fd, text, true);
  const bool closed = ::close(fd) == 0;
  if (written && closed && ::rename(tempPath.c_str(), target.name.c_str()) == 0) {
    return Replaced::kDone;
  }
  ::unlink(tempPath.c_str());
  return alike && !(written && closed) ? Replaced::kWriteFailed : Replaced::kNotPossible;
}

}  // namespace

int checkFileWritable(const std::string& path) {
  return decideWriteTarget(path).method == WriteMethod::kRefuse ? kCannotOpen : kSuccess;
}

int writeWholeFile(const std::string& path, const std::string& text) {
  const WriteTarget target = decideWriteTarget(path);
  switch (target.method) {
    case WriteMethod::kRefuse:
      return kCannotOpen;
    case WriteMethod::kCreate:
      return replaceByRename(target, text) == Replaced::kDone ? kSuccess : kCannotOpen;
    case WriteMethod::kReplace: {
      // Whatever stopped the copy before its bytes (a folder the user may not write, a sticky
      // folder, a group the copy cannot have) or the rename left the file untouched: write it
      // in place then. Bytes that could not be written beside it are not written over it.
      const Replaced replaced = replaceByRename(target, text);
      if (replaced != Replaced::kNotPossible) {
        return replaced == Replaced::kDone ? kSuccess : kCannotOpen;
      }
      [[fallthrough]];
    }
    case WriteMethod::kOverwrite:
      return writeInPlace(path, text, true) ? kSuccess : kCannotOpen;
    case WriteMethod::kStream:
      return writeInPlace(path, text, false) ? kSuccess : kCannotOpen;
  }
  return kCannotOpen;
}

}  // namespace ringcalib
