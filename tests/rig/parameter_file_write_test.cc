// Writing the parameter file as an ordinary user: wherever opening the path for writing works,
// the new bytes arrive and the file keeps its owner, group, mode, links and attributes; where
// it does not, the start check says so and nothing is created, truncated or left behind.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "rig/file_writer.h"
#include "core/result_code.h"
#include "tests/support/test_support.h"

namespace {

using ringcalib::test::readFileBytes;

constexpr uid_t kNobody = 65534;
constexpr uid_t kOther = 1;  // neither root nor nobody
const std::string kOld = "an earlier calibration, longer than the new one";
const std::string kNew = "{\"version\":1}";

enum Extra { kNone, kHardLink, kSymlink, kAttribute, kFolderAcl };

struct Row {
  const char* what;
  uid_t user;         // runs check and write, with the group of the same number
  uid_t folderOwner;  // of the folder "f", group the same number
  mode_t folderMode;
  uid_t owner;  // of `file` beforehand
  gid_t group;
  mode_t mode;       // 0: no file beforehand
  Extra extra;       // f/q.json linked to the file, link.json naming it...
  std::string arg;   // --file, relative to the case folder
  std::string file;  // looked at afterwards ("": none)
  int check, write;  // the codes of the start check and of the write
  bool renamed;      // an earlier file replaced by a new one
};

// Runs `job` in a child process as `user` without supplementary groups and with umask 027.
int runAs(uid_t user, const std::function<int()>& job) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::umask(027);
    if (user != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0)) {
      ::_exit(99);
    }
    ::_exit(job());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every name under `dir`, so that a stray creation or a left-over temporary file shows.
std::set<std::string> listing(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    names.insert(entry.path().string());
  }
  return names;
}

void own(const std::string& path, uid_t owner, gid_t group, mode_t mode) {
  ASSERT_EQ(::lchown(path.c_str(), owner, group), 0) << path;
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

void setUp(const Row& row, const std::string& d) {
  ::mkdir((d + "/f").c_str(), 0700);
  own(d + "/f", row.folderOwner, row.folderOwner, row.folderMode);
  if (row.mode != 0) {
    ringcalib::test::writeFileBytes(d + "/" + row.file, kOld);
    own(d + "/" + row.file, row.owner, row.group, row.mode);
  }
  if (row.extra == kHardLink) {
    ASSERT_EQ(::link((d + "/f/p.json").c_str(), (d + "/f/q.json").c_str()), 0);
  }
  if (row.extra == kSymlink) {
    ASSERT_EQ(::symlink("f/p.json", (d + "/link.json").c_str()), 0);
  }
  if (row.extra == kFolderAcl) {
    // Lets kOther write what is created there: version, then entries of tag|permission << 16, id.
    const std::uint32_t entries[] = {2,   0x70001, ~0u, 0x60002, kOther, 0x50004,
                                     ~0u, 0x70010, ~0u, 0x50020, ~0u};
    ASSERT_EQ(
        ::setxattr((d + "/f").c_str(), "system.posix_acl_default", entries, sizeof entries, 0), 0);
  }
  if (row.extra == kAttribute) {
    ASSERT_EQ(::setxattr((d + "/f/p.json").c_str(), "user.note", "kept", 4, 0), 0);
  }
}

// Short names for the table.
constexpr uid_t N = kNobody;
const char* const P = "f/p.json";
const std::string kLongName = "f/" + std::string(255, 'n');

const Row kRows[] = {
    // Written: created, replaced by a renamed copy, or written in place.
    {"new file", N, N, 0755, 0, 0, 0, kNone, P, P, 0, 0, false},
    {"new file, longest name", N, N, 0755, 0, 0, 0, kNone, kLongName, kLongName, 0, 0, false},
    {"own file", N, N, 0755, N, N, 0604, kNone, P, P, 0, 0, true},
    {"own file, group the user is not in", N, N, 0755, N, kOther, 0664, kNone, P, P, 0, 0, false},
    {"own file with an xattr", N, N, 0755, N, N, 0644, kAttribute, P, P, 0, 0, false},
    {"own file, folder with default ACL", N, N, 0755, N, N, 0644, kFolderAcl, P, P, 0, 0, false},
    {"own file, set-group-ID folder", N, kOther, 02777, N, N, 0644, kNone, P, P, 0, 0, true},
    {"own file, folder not writable", N, 0, 0755, N, N, 0644, kNone, P, P, 0, 0, false},
    {"other's file, sticky folder", N, 0, 01777, kOther, N, 0664, kNone, P, P, 0, 0, false},
    {"other's file, writable by all", N, N, 0755, kOther, kOther, 0666, kNone, P, P, 0, 0, false},
    {"two hard links", N, N, 0755, N, N, 0644, kHardLink, P, P, 0, 0, false},
    {"dangling symlink", N, N, 0755, 0, 0, 0, kSymlink, "link.json", P, 0, 0, false},
    {"symlink to own file", N, N, 0755, N, N, 0600, kSymlink, "link.json", P, 0, 0, true},
    {"/dev/null", N, N, 0755, 0, 0, 0, kNone, "/dev/null", "", 0, 0, false},
    // Refused, or failed: nothing changes.
    {"/dev/full", N, N, 0755, 0, 0, 0, kNone, "/dev/full", "", 0, 2, false},
    {"own file, no write bit", N, N, 0755, N, N, 0444, kNone, P, P, 2, 2, false},
    {"no write bit, as root", 0, 0, 0755, 0, 0, 0444, kNone, P, P, 2, 2, false},
    {"other's file, not writable", N, N, 0755, kOther, kOther, 0644, kNone, P, P, 2, 2, false},
    {"new file, folder not writable", N, 0, 0755, 0, 0, 0, kNone, P, P, 2, 2, false},
    {"missing folder", N, N, 0755, 0, 0, 0, kNone, "f/absent/p.json", "", 2, 2, false},
    {"a folder", N, N, 0755, 0, 0, 0, kNone, "f", "", 2, 2, false},
    {"empty path", N, N, 0755, 0, 0, 0, kNone, "", "", 2, 2, false},
};

// A failed assertion ends only the row.
void runRow(const Row& row) {
  ringcalib::test::TempDir root;
  const std::string d = root.path();
  ASSERT_EQ(::chmod(d.c_str(), 0755), 0);
  setUp(row, d);
  const std::string arg = row.arg.empty() || row.arg[0] == '/' ? row.arg : d + "/" + row.arg;
  const std::string file = row.file.empty() ? "" : d + "/" + row.file;
  const std::string alias = d + (row.extra == kHardLink ? "/f/q.json" : "/link.json");
  const auto aliasType = std::filesystem::symlink_status(alias).type();
  struct stat before {};
  const bool existed = !file.empty() && ::stat(file.c_str(), &before) == 0;
  const std::set<std::string> names = listing(d);

  EXPECT_EQ(runAs(row.user, [&] { return ringcalib::checkFileWritable(arg); }), row.check);
  EXPECT_EQ(listing(d), names);
  EXPECT_EQ(readFileBytes(file), existed ? kOld : "");

  EXPECT_EQ(runAs(row.user, [&] { return ringcalib::writeWholeFile(arg, kNew); }), row.write);
  std::set<std::string> expected = names;
  if (row.write == 0 && !file.empty()) expected.insert(file);
  EXPECT_EQ(listing(d), expected);
  if (!existed && (file.empty() || row.write != 0)) return;

  struct stat after {};
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(readFileBytes(file), row.write == 0 ? kNew : kOld);
  EXPECT_EQ(after.st_uid, existed ? before.st_uid : row.user);
  EXPECT_EQ(after.st_gid, existed ? before.st_gid : row.user);
  EXPECT_EQ(after.st_mode & 07777, existed ? before.st_mode & 07777 : 0640u);  // umask 027
  EXPECT_EQ(existed && after.st_ino != before.st_ino, row.renamed);
  if (row.extra == kHardLink || row.extra == kSymlink) {
    EXPECT_EQ(std::filesystem::symlink_status(alias).type(), aliasType);
    EXPECT_EQ(readFileBytes(alias), readFileBytes(file));
  }
}

TEST(WriteParameterFile, AsAnOrdinaryUserKeepsWhatTheFileHad) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files and folders to other users";
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    runRow(row);
  }
}

}  // namespace
