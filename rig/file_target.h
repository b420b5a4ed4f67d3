#pragma once

#include <sys/stat.h>

#include <string>

// What a path to write a whole file at (the parameter file, an exported file) names and how
// it can be written. A job's start check and its final write both ask this, so that they
// never disagree.
namespace ringcalib {

enum class WriteMethod {
  kRefuse,     // cannot be written: a folder, a file without any write bit, a missing folder...
  kCreate,     // nothing there yet; the folder of `name` lets the running user create a file
  kReplace,    // the user's own regular file with one link and no extended attributes
  kOverwrite,  // any other regular file the user may write: it must stay the same file
  kStream,     // a device or pipe: its bytes go straight in
};

struct WriteTarget {
  WriteMethod method = WriteMethod::kRefuse;
  std::string name;     // kCreate, kReplace: the file's own name, symbolic links followed
  struct stat info {};  // kReplace: the file as it is now
};

// Decides without creating, truncating or changing anything.
WriteTarget decideWriteTarget(const std::string& path);

// Whether the open file carries extended attributes (access control lists among them). A file
// system without any counts as none; a failed query counts as some.
bool hasExtendedAttributes(int fd);

std::string parentFolder(const std::string& path);
std::string baseName(const std::string& path);

}  // namespace ringcalib
