// The command line through the real executable: the exit status, standard output byte for
// byte, standard error only for the parser's own reports, and the parameter file untouched.
#include <filesystem>

#include <gtest/gtest.h>

#include "core/gbk_text.h"
#include "tests/support/test_support.h"

namespace ringcalib::test {
namespace {

TEST(CommandLine, StatusOutputAndErrorOfEachCommandLine) {
  TempDir dir;
  const std::string file = dir.file("camera.json");
  writeFileBytes(file, R"({"note":"earlier","version":1})");
  const std::string absent = dir.file("absent.json");
  // Blanks and non-ASCII bytes in paths are handed through and printed unchanged.
  const std::string videos = dir.file("vid\xC3\xA9o  2026/\xE6\x91\x84\xE5\x83\x8F");
  const std::string folder = dir.file("\xC3\xBC folder.json");
  std::filesystem::create_directory(folder);
  writeFileBytes(dir.file("plain"), "x");
  const std::string tooFewViews =
      std::string(gbk::kTooFewBoardImages) + "\n" + gbk::kRecordSlowly + "\n";
  const std::string parseError = "PARSE ERROR";
  const auto badBoard = [](const std::string& value) {
    return "ERROR:expected <cols>x<rows>, each 3 to 100, got \"" + value +
           "\" Argument: -b <cols x rows>,  --board <cols x rows>\n";
  };
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;  // a part of standard error, which is empty when this is
  } cases[] = {
      {{"--version"}, 0, "\n" RINGCALIB_EXE "  version: 1.0.0\n\n", ""},
      {{"-w", "intrinsic"}, 1, "", "Required argument missing: file"},
      {{"-f", file}, 1, "", "Required argument missing: what"},
      {{"-f", file, "-w"}, 1, "", "Missing a value for this argument"},
      {{"-f", file, "-w", "all", "-q"}, 1, "", "Couldn't find match for argument"},
      {{"-w", "intrinsic", "-w", "extrinsic", "-f", file}, 1, "", parseError},
      {{"-w", "intrinsic", "-f", file, "--file", absent}, 1, "", parseError},
      // A word that names no job ends the run silently.
      {{"-w", "ALL", "-f", file}, 1, "", ""},
      {{"-w", "Intrinsic", "-f", file}, 1, "", ""},
      {{"-w", "extrinsic ", "-f", file}, 1, "", ""},
      {{"-w", "", "-f", file}, 1, "", ""},
      // "--" ends the labelled arguments: what follows is not read, required or not.
      {{"-f", absent, "-w", "extrinsic", "--", "-w", "intrinsic", "-q"}, 2, "result : 2\n", ""},
      {{"--", "-w", "intrinsic", "-f", file}, 1, "", parseError},
      {{"-w", "intrinsic", "-f", file, "--", "-v", videos}, 3, tooFewViews + "result : 3\n", ""},
      // A failed intrinsic part of "all" prints no result line.
      {{"-w", "all", "-f", dir.file("no folder/p.json")}, 2, "", ""},
      {{"-w", "intrinsic", "-f", ""}, 2, "result : 2\n", ""},
      {{"-w", "extrinsic", "-f", absent}, 2, "result : 2\n", ""},
      {{"-w", "intrinsic", "-v", videos, "-f", file}, 2,
       "Can not open video : " + videos + "/origin_0.mp4\nresult : 2\n", ""},
      {{"-w", "extrinsic", "-i", videos, "-f", folder}, 2,
       "Can not read camera parameter file : " + folder + " is a directory\nresult : 2\n", ""},
      // --board: <cols>x<rows>, each 3 to 100; a malformed value names the option and itself.
      {{"-w", "intrinsic", "-f", file, "-b", "0x5"}, 1, badBoard("0x5"), ""},
      {{"-w", "intrinsic", "-f", file, "-b", "9"}, 1, badBoard("9"), ""},
      {{"-w", "intrinsic", "-f", file, "-b", "9x12x3"}, 1, badBoard("9x12x3"), ""},
      {{"-w", "intrinsic", "-f", file, "--board", "2x101"}, 1, badBoard("2x101"), ""},
      {{"-w", "intrinsic", "-f", file, "--board", "+9x6"}, 1, badBoard("+9x6"), ""},
      {{"-w", "all", "-f", file, "--board", "9x"}, 1, badBoard("9x"), ""},
      // Without a sampled frame no board is named: the videos were not at fault.
      {{"-w", "intrinsic", "-f", file, "-b", "100x3"}, 3, tooFewViews + "result : 3\n", ""},
      {{"-w", "intrinsic", "-f", file, "-r", dir.file("plain/out")}, 2,
       "Can not create report folder : " + dir.file("plain/out") + "\n", ""},
  };
  for (const auto& c : cases) {
    std::string args;
    for (const std::string& a : c.args) args += " '" + a + "'";
    const RunResult run = runKeepingFile(c.args, file);
    EXPECT_EQ(run.status, c.status) << args;
    EXPECT_EQ(run.out, c.out) << args;
    if (c.err.empty()) {
      EXPECT_EQ(run.err, "") << args;
    } else {
      EXPECT_NE(run.err.find(c.err), std::string::npos) << args << "\n" << run.err;
    }
  }
  EXPECT_FALSE(fileExists(absent));
}

}  // namespace
}  // namespace ringcalib::test
