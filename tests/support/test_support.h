#pragma once

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

// Helpers shared by the test executables.
namespace ringcalib::test {

// A fresh folder under the system's temporary folder, removed with everything in it when
// the object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string readFileBytes(const std::string& path);

// The shared folder of real photographs beside the checkout (third-party data, never part of
// the project), or empty when it is absent: the tests that read it say skipped then.
std::string sharedRealFolder();
void writeFileBytes(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

// What a run of a program printed and how it ended.
struct RunResult {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;
  std::string err;
};

struct RunOptions {
  std::vector<std::pair<std::string, std::string>> environment;  // added to the child's
  bool asNobody = false;  // root reads and writes any file; as nobody permissions apply
  const char* program = RINGCALIB_EXE;  // or another executable of this tree
};

// Runs the ringcalib executable built with this tree (or options.program) with `args` (no shell involved),
// capturing both output streams.
RunResult runTool(const std::vector<std::string>& args, const RunOptions& options = RunOptions());

// Runs the tool and expects `file` to hold the same bytes afterwards, or to be still absent.
RunResult runKeepingFile(const std::vector<std::string>& args, const std::string& file,
                         const RunOptions& options = RunOptions());

// Collects what is written to std::cout while it exists.
class CoutCapture {
 public:
  CoutCapture() : previous_(std::cout.rdbuf(text_.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(previous_); }
  std::string text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* previous_;
};

}  // namespace ringcalib::test
