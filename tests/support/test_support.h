#pragma once

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
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

// The lines of a text, without their line ends.
std::vector<std::string> splitLines(const std::string& text);

// What a run of a program printed and how it ended.
struct RunResult {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with `args` (no shell involved), capturing both output streams.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args);

// Runs the ringcalib executable built with this tree.
RunResult runTool(const std::vector<std::string>& args);

}  // namespace ringcalib::test
