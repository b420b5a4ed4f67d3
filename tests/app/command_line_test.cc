// The command line and the run sequence, through the real executable where the parser
// ends the process, and in-process where the parsed values are of interest.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/input_param.h"
#include "tests/support/test_support.h"

namespace {

using ringcalib::test::runTool;
using ringcalib::test::TempDir;

// InputParam keeps the argument vector it is given; this holds the strings alive.
struct Arguments {
  explicit Arguments(std::vector<std::string> words) : words_(std::move(words)) {
    pointers_.push_back(const_cast<char*>("ringcalib"));
    for (std::string& w : words_) pointers_.push_back(w.data());
  }
  int argc() { return static_cast<int>(pointers_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

TEST(CommandLine, HelpAndVersionEndWithStatusZero) {
  const auto help = runTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Depth map calibration command line"), std::string::npos);
  for (const char* option : {"--what <string>", "--video <string>", "--image <string>",
                             "--file <string>", "what function to run (intrinsic/extrinsic/all)",
                             "video input directory paths", "image input directory paths",
                             "file to store camera params", "--report <string>",
                             "folder to write a calibration report into", "--ignore_rest"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }

  const auto version = runTool({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find("version: 1.0.0"), std::string::npos);
}

TEST(CommandLine, ParserErrorsGoToStandardErrorWithStatusOne) {
  const struct {
    std::vector<std::string> args;
    const char* report;
  } cases[] = {
      {{"-w", "intrinsic"}, "Required argument missing: file"},
      {{"-f", "p.json"}, "Required argument missing: what"},
      {{"-f", "p.json", "-w"}, "Missing a value for this argument!"},
      {{"-f", "p.json", "-w", "all", "-q"}, "Couldn't find match for argument"},
  };
  for (const auto& c : cases) {
    const auto run = runTool(c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("PARSE ERROR:"), std::string::npos);
    EXPECT_NE(run.err.find(c.report), std::string::npos) << run.err;
  }
}

TEST(CommandLine, UnknownJobWordEndsSilentlyWithStatusOne) {
  TempDir dir;
  for (const char* word : {"ALL", "Intrinsic", "extrinsic ", "", "both"}) {
    const auto run = runTool({"-w", word, "-f", dir.file("p.json")});
    EXPECT_EQ(run.status, 1) << word;
    EXPECT_EQ(run.out, "") << word;
    EXPECT_EQ(run.err, "") << word;
  }
  EXPECT_FALSE(ringcalib::test::fileExists(dir.file("p.json")));
}

TEST(CommandLine, FailedIntrinsicPartOfAllStopsWithoutResultLine) {
  TempDir dir;
  const auto run = runTool({"-w", "all", "-f", dir.file("missing-folder/p.json")});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
}

TEST(CommandLine, SingleJobsPrintTheResultLine) {
  TempDir dir;
  const auto intrinsic = runTool({"-w", "intrinsic", "-f", ""});
  EXPECT_EQ(intrinsic.status, 2);
  EXPECT_EQ(intrinsic.out, "result : 2\n");
  const auto extrinsic = runTool({"-w", "extrinsic", "-f", dir.file("absent.json")});
  EXPECT_EQ(extrinsic.status, 2);
  EXPECT_EQ(extrinsic.out, "result : 2\n");
}

// The parser's "--" ignores every labelled argument after it; a second --what would
// otherwise be a parse error.
TEST(CommandLine, DoubleDashIgnoresTheRestOfTheLabelledArguments) {
  TempDir dir;
  const auto run = runTool({"-f", dir.file("absent.json"), "-w", "extrinsic", "--", "-w",
                            "intrinsic", "-q"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "result : 2\n");
  EXPECT_EQ(run.err, "");
}

TEST(InputParam, RepeatedOptionsKeepTheirOrderAndWordsMapExactly) {
  Arguments args({"-v", "b", "-i", "x", "--video", "a", "-f", "p.json", "-w", "extrinsic", "-i",
                  "y", "-v", "c d"});
  InputParam param(args.argc(), args.argv());
  ASSERT_EQ(param.Parse(), 0);
  EXPECT_EQ(param.videoPaths(), (std::vector<std::string>{"b", "a", "c d"}));
  EXPECT_EQ(param.imagePaths(), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(param.file(), "p.json");
  EXPECT_EQ(param.Type(), InputParam::EXTRINSIC);
}

TEST(InputParam, ReportFolderIsOptionalAndEmptyByDefault) {
  Arguments without({"-f", "p.json", "-w", "all"});
  InputParam plain(without.argc(), without.argv());
  ASSERT_EQ(plain.Parse(), 0);
  EXPECT_EQ(plain.reportFolder(), "");
  for (const char* option : {"-r", "--report"}) {
    Arguments with({"-f", "p.json", option, "out dir", "-w", "all"});
    InputParam param(with.argc(), with.argv());
    ASSERT_EQ(param.Parse(), 0);
    EXPECT_EQ(param.reportFolder(), "out dir") << option;
  }
}

TEST(InputParam, JobTable) {
  const struct {
    const char* word;
    int type;
  } cases[] = {{"intrinsic", 1}, {"extrinsic", 2}, {"all", 3}, {"All", 0}, {"intrinsic2", 0}};
  for (const auto& c : cases) {
    Arguments args({"-f", "p", "-w", c.word});
    InputParam param(args.argc(), args.argv());
    ASSERT_EQ(param.Parse(), 0);
    EXPECT_EQ(static_cast<int>(param.Type()), c.type) << c.word;
  }
}

}  // namespace
