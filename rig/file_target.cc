#include "rig/file_target.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace ringcalib {
namespace {

constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr int kMaxLinkHops = 40;  // the system's own limit

// Follows symbolic links in the last part of `path`; the system resolves the folders. A link
// that names nothing yet gives the name that opening the path would create.
std::string finalName(std::string path) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string link(PATH_MAX, '\0');
    const ssize_t size = ::readlink(path.c_str(), link.data(), link.size());
    if (size <= 0) return path;
    link.resize(static_cast<std::size_t>(size));
    path = link.front() == '/' ? link : parentFolder(path) + "/" + link;
  }
  return path;
}

// A rename puts a new file in place of the old one: only when nothing else names the old file
// and the new one can carry all the old one had. Owner and group are compared again on the
// replacement itself (a set-group-ID folder, a group the user is not in).
bool replaceable(int fd, const struct stat& info, const std::string& name) {
  struct stat named;
  return info.st_nlink == 1 && info.st_uid == ::geteuid() && !hasExtendedAttributes(fd) &&
         ::lstat(name.c_str(), &named) == 0 && named.st_dev == info.st_dev &&
         named.st_ino == info.st_ino;
}

WriteTarget decideExisting(const std::string& path, const struct stat& info) {
  WriteTarget target;
  // Whoever took every write bit away did not want the file replaced, even by root.
  if (S_ISDIR(info.st_mode) || (info.st_mode & kAnyWriteBit) == 0) return target;
  if (!S_ISREG(info.st_mode)) {
    // Opening a pipe or device to try it could end a reader's input, so only ask.
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) {
      target.method = WriteMethod::kStream;
    }
    return target;
  }
  // Opening without truncating tests every reason to refuse (read-only mounts, append-only
  // files...) and changes nothing.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return target;
  target.name = finalName(path);
  target.info = info;
  target.method =
      replaceable(fd, info, target.name) ? WriteMethod::kReplace : WriteMethod::kOverwrite;
  ::close(fd);
  return target;
}

}  // namespace

WriteTarget decideWriteTarget(const std::string& path) {
  if (path.empty()) return {};
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) return decideExisting(path, info);
  if (errno != ENOENT) return {};
  WriteTarget target;
  target.name = finalName(path);
  if (!baseName(target.name).empty() &&
      ::faccessat(AT_FDCWD, parentFolder(target.name).c_str(), W_OK | X_OK, AT_EACCESS) == 0) {
    target.method = WriteMethod::kCreate;
  }
  return target;
}

bool hasExtendedAttributes(int fd) {
  const ssize_t size = ::flistxattr(fd, nullptr, 0);
  return size > 0 || (size < 0 && errno != ENOTSUP);
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

}  // namespace ringcalib
