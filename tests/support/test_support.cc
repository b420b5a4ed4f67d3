#include "tests/support/test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <gtest/gtest.h>

namespace ringcalib::test {

TempDir::TempDir() : path_((std::filesystem::temp_directory_path() / "ringcalib-test-XXXXXX").string()) {
  if (mkdtemp(path_.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string sharedRealFolder() {
  const std::filesystem::path real = std::filesystem::path(RINGCALIB_SOURCE_DIR) / ".." / "shared" / "real";
  std::error_code error;
  return std::filesystem::is_directory(real, error) ? real.lexically_normal().string() : std::string();
}

std::string readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool fileExists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

RunResult runTool(const std::vector<std::string>& args, const RunOptions& options) {
  TempDir capture;
  const pid_t pid = fork();
  if (pid == 0) {
    ::dup2(::open(capture.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    ::dup2(::open(capture.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    ::dup2(::open("/dev/null", O_RDONLY), 0);
    for (const auto& [name, value] : options.environment) ::setenv(name.c_str(), value.c_str(), 1);
    const gid_t nogroup = 65534;
    if (options.asNobody && ::geteuid() == 0 &&
        (::setgroups(1, &nogroup) != 0 || ::setgid(nogroup) != 0 || ::setuid(65534) != 0)) {
      _exit(126);
    }
    std::vector<char*> argv{const_cast<char*>(options.program)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(options.program, argv.data());
    _exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFileBytes(capture.file("out")),
          readFileBytes(capture.file("err"))};
}

RunResult runKeepingFile(const std::vector<std::string>& args, const std::string& file,
                         const RunOptions& options) {
  const bool existed = fileExists(file);
  const std::string before = readFileBytes(file);
  struct stat was {};
  ::stat(file.c_str(), &was);
  RunResult run = runTool(args, options);
  struct stat is {};
  ::stat(file.c_str(), &is);
  EXPECT_EQ(fileExists(file), existed) << file;
  EXPECT_EQ(readFileBytes(file), before) << file;
  EXPECT_TRUE(is.st_mtim.tv_sec == was.st_mtim.tv_sec && is.st_mtim.tv_nsec == was.st_mtim.tv_nsec) << file;
  return run;
}

}  // namespace ringcalib::test
