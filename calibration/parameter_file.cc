#include "calibration/parameter_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <random>
#include <vector>

#include "calibration/compact_json.h"
#include "core/result_code.h"

namespace ringcalib {
namespace {

// The file a path finally names: links resolved when the target exists, else the path.
std::string resolveTarget(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr) return resolved;
  return path;
}

std::string parentFolder(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

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

// Devices and pipes cannot be replaced by a rename; they receive the bytes directly.
int writeDirectly(const std::string& target, const std::string& text) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return kCannotOpen;
  const bool written = writeAll(fd, text);
  const bool closed = ::close(fd) == 0;
  return written && closed ? kSuccess : kCannotOpen;
}

// Creates a new, empty file next to `target` that no other process uses.
int createTemporaryBeside(const std::string& target, mode_t mode, std::string& tempPath) {
  std::random_device seed;
  std::mt19937_64 generator(seed());
  const std::string stem = parentFolder(target) + "/." + baseName(target) + ".tmp-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = stem + std::to_string(generator() % 1000000000ULL);
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Opening for writing without O_TRUNC tests the permission and changes nothing. A file
// without any write bit is taken as protected even for root, who could write it anyway:
// whoever made it read-only did not want it replaced.
bool canOpenForWriting(const std::string& target) {
  struct stat info;
  if (::stat(target.c_str(), &info) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    return false;
  }
  const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

int loadParameterDocument(std::ifstream& in, const std::string& path, nlohmann::json& document) {
  struct stat info;
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::cout << "Can not read camera parameter file : " << path << " is a directory" << std::endl;
    return kCannotOpen;
  }
  in.open(path, std::ios::in | std::ios::binary);
  if (!in.is_open()) return kCannotOpen;

  std::int64_t version = 0;
  try {
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0) return kBadParameterFile;
    in.seekg(0, std::ios::beg);
    // One zero byte more than the file: the text ends at the first NUL, as a C string.
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
    in.read(buffer.data(), size);
    document = nlohmann::json::parse(buffer.data());
    version = readInteger(document["version"]);
  } catch (const std::exception& e) {
    std::cout << "read version failed : " << e.what() << std::endl;
    in.close();
    return kBadParameterFile;
  }
  if (version != 1) return kWrongVersion;
  return kSuccess;
}

int checkParameterFileWritable(const std::string& path) {
  if (path.empty()) return kCannotOpen;
  const std::string target = resolveTarget(path);
  struct stat info;
  if (::stat(target.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return kCannotOpen;
    return canOpenForWriting(target) ? kSuccess : kCannotOpen;
  }
  const std::string folder = parentFolder(target);
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return kCannotOpen;
  return ::access(folder.c_str(), W_OK | X_OK) == 0 ? kSuccess : kCannotOpen;
}

int writeFileAtomically(const std::string& path, const std::string& text) {
  if (path.empty()) return kCannotOpen;
  const std::string target = resolveTarget(path);
  struct stat info;
  const bool exists = ::stat(target.c_str(), &info) == 0;
  if (exists) {
    if (S_ISDIR(info.st_mode)) return kCannotOpen;
    if (!S_ISREG(info.st_mode)) return writeDirectly(target, text);
    // A file the user may not write stays as it is, although a rename could replace it.
    if (!canOpenForWriting(target)) return kCannotOpen;
  }

  std::string tempPath;
  const int fd = createTemporaryBeside(target, 0666, tempPath);  // new files: 0666 less the umask
  if (fd < 0) return kCannotOpen;
  if (exists) ::fchmod(fd, info.st_mode & 07777);  // the replacement keeps the file's mode
  const bool written = writeAll(fd, text) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(tempPath.c_str(), target.c_str()) != 0) {
    ::unlink(tempPath.c_str());
    return kCannotOpen;
  }
  return kSuccess;
}

}  // namespace ringcalib
