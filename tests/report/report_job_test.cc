// --report on a generated rig through the real executable: one "all" run with the report
// and one without. The report may only add its folder: the output and the parameter file
// stay byte for byte the same, and the report's counts are the job's own.
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "core/gbk_text.h"
#include "tests/support/rig_cache.h"
#include "tests/support/test_support.h"

namespace {

using nlohmann::json;
using ringcalib::test::readFileBytes;
using ringcalib::test::runTool;
using ringcalib::test::TempDir;

// The rig the other job tests render: shared through the cache, so exactly these options.
std::string sharedRig() {
  ringcalib::synth::RigOptions options;
  options.seed = 3;
  options.videoWidth = 3200;
  options.videoHeight = 2400;
  options.framesPerVideo = 128;
  options.videos = true;
  options.images = true;
  ringcalib::synth::RigTruth truth;
  return ringcalib::test::cachedRig(options, truth);
}

// The pose step prints the clock ticks its refinement took, which differ between runs.
std::string withoutTicks(const std::string& out) {
  const std::string prefix = ringcalib::gbk::kOptimisationTime;
  std::istringstream in(out);
  std::string masked;
  for (std::string line; std::getline(in, line);) {
    masked += line.rfind(prefix, 0) == 0 ? prefix + "<ticks>" : line;
    masked += '\n';
  }
  return masked;
}

std::vector<int> printedCorrespondenceCounts(const std::string& out) {
  static const std::regex line("pts1\\.size, pts2\\.size: (\\d+) (\\d+)");
  std::vector<int> counts;
  for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it) {
    EXPECT_EQ((*it)[1], (*it)[2]);
    counts.push_back(std::stoi((*it)[1]));
  }
  return counts;
}

// Views the fisheye solve of `camera` printed as left out.
int viewsLeftOut(const std::string& out, int camera) {
  const std::regex line("camera " + std::to_string(camera) + ": view \\d+ is ill-conditioned");
  return static_cast<int>(std::distance(std::sregex_iterator(out.begin(), out.end(), line),
                                        std::sregex_iterator()));
}

// Every figure file report.json names, and every src/href of the page, must exist.
void expectReferencedFilesExist(const std::string& folder, const json& document) {
  std::vector<std::string> files;
  for (const auto* list : {&document["cameras"], &document["pairs"]}) {
    for (const json& entry : *list) {
      for (const auto& figure : entry["figures"].items()) files.push_back(figure.value());
    }
  }
  const std::string page = readFileBytes(folder + "/index.html");
  static const std::regex reference("(?:src|href)=\"([^\"]+)\"");
  std::size_t pageReferences = 0;
  for (std::sregex_iterator it(page.begin(), page.end(), reference), end; it != end; ++it) {
    files.push_back((*it)[1]);
    ++pageReferences;
  }
  // Six cameras with two figures, six pairs with two, and the link to report.json.
  EXPECT_GE(pageReferences, 25u);
  for (const std::string& file : files) {
    EXPECT_EQ(file.find('/'), std::string::npos) << file;
    EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/" + file)) << file;
  }
}

TEST(ReportJob, AllRunOnAGeneratedRigOnlyAddsTheReportFolder) {
  const std::string rig = sharedRig();
  TempDir dir;
  const auto run = [&](const std::string& file, const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"-w", "all", "-v", rig + "/video", "-i", rig + "/image",
                                     "-f", file};
    args.insert(args.end(), extra.begin(), extra.end());
    return runTool(args);
  };
  const auto plain = run(dir.file("plain.json"), {});
  const std::string folder = dir.file("report");
  const auto reported = run(dir.file("reported.json"), {"--report", folder});

  ASSERT_EQ(plain.status, 0) << plain.out;
  EXPECT_EQ(reported.status, plain.status);
  EXPECT_EQ(withoutTicks(reported.out), withoutTicks(plain.out));
  EXPECT_EQ(reported.err, plain.err);
  EXPECT_EQ(readFileBytes(dir.file("reported.json")), readFileBytes(dir.file("plain.json")));

  const json document = json::parse(readFileBytes(folder + "/report.json"));
  EXPECT_EQ(document["jobs"],
            json::parse(R"([{"job":"intrinsic","code":0},{"job":"extrinsic","code":0}])"));
  ASSERT_EQ(document["cameras"].size(), 6u);
  for (int n = 0; n < 6; ++n) {
    const json& intrinsic = document["cameras"][n]["intrinsic"];
    const int accepted = intrinsic["views_accepted"];
    const int solved = static_cast<int>(intrinsic["view_rms_errors"].size());
    EXPECT_GT(solved, 0) << "camera " << n;
    // The solve takes the accepted views less those it leaves out; the central selection
    // may also drop views without a corner inside its circle.
    EXPECT_LE(solved + viewsLeftOut(plain.out, n), accepted) << "camera " << n;
    EXPECT_LE(accepted, intrinsic["frames_passing_cheap_test"].get<int>()) << "camera " << n;
    EXPECT_LE(intrinsic["frames_passing_cheap_test"].get<int>(),
              intrinsic["frames_sampled"].get<int>());
    EXPECT_GE(intrinsic["corners_kept"].get<int>(), 5 * solved) << "camera " << n;
  }
  const std::vector<int> printed = printedCorrespondenceCounts(plain.out);
  ASSERT_EQ(printed.size(), 6u);
  ASSERT_EQ(document["pairs"].size(), 6u);
  for (int p = 0; p < 6; ++p) {
    const json& pair = document["pairs"][p];
    EXPECT_EQ(pair["correspondences"].get<int>(), printed[p]) << "pair " << p;
    EXPECT_LE(pair["consistent_with_F"].get<int>(), printed[p]);
    EXPECT_TRUE(pair["solved"].get<bool>());
  }
  EXPECT_LT(document["ring"]["closure_degrees"].get<double>(), 0.5);
  expectReferencedFilesExist(folder, document);
}

}  // namespace
