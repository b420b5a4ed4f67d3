// --report through the real executable: the run's own output, code and file stay what they
// are, and the folder holds the report of whatever the jobs reached.
#include <filesystem>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/test_support.h"

namespace {

using nlohmann::json;
using ringcalib::test::fileExists;
using ringcalib::test::readFileBytes;
using ringcalib::test::runTool;
using ringcalib::test::TempDir;

TEST(ReportRun, AFailedJobKeepsItsOutputAndCodeAndIsReported) {
  TempDir dir;
  const std::vector<std::string> job = {"-w", "extrinsic", "-f", dir.file("absent.json")};
  const auto plain = runTool(job);
  auto reporting = job;
  reporting.insert(reporting.end(), {"--report", dir.file("out")});
  const auto reported = runTool(reporting);
  EXPECT_EQ(reported.status, plain.status);
  EXPECT_EQ(reported.out, plain.out);
  EXPECT_EQ(reported.err, "");
  const json document = json::parse(readFileBytes(dir.file("out/report.json")));
  EXPECT_EQ(document["jobs"], json::parse(R"([{"job":"extrinsic","code":2}])"));
  EXPECT_TRUE(fileExists(dir.file("out/index.html")));
}

TEST(ReportRun, AFolderThatCannotBeMadeStopsTheRunBeforeAnyJob) {
  TempDir dir;
  ringcalib::test::writeFileBytes(dir.file("plain"), "x");
  ringcalib::test::writeFileBytes(dir.file("p.json"), "{\"version\":1}");
  const auto run = runTool({"-w", "intrinsic", "-f", dir.file("p.json"), "-r", dir.file("plain/out")});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "Can not create report folder : " + dir.file("plain/out") + "\n");
  EXPECT_EQ(readFileBytes(dir.file("p.json")), "{\"version\":1}");
}

}  // namespace
