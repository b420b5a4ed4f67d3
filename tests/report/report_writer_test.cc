// The report folder: report.json holds the recorded numbers exactly, the page is well
// formed and refers only to files that exist, and partial or failed runs still report.
#include <filesystem>
#include <regex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>

#include "report/report_page.h"
#include "report/report_writer.h"
#include "tests/report/sample_report.h"
#include "tests/support/test_support.h"

namespace {

using nlohmann::json;
using ringcalib::report::CalibrationReport;
using ringcalib::report::writeReport;
using ringcalib::test::readFileBytes;
using ringcalib::test::TempDir;

// Whether every tag of `page` is closed in order (void elements excepted), every '<'
// opens a tag, every attribute value is quoted and every '&' starts a character reference.
::testing::AssertionResult wellFormed(const std::string& page) {
  static const std::regex tag(R"re(<(/?)([a-zA-Z][a-zA-Z0-9]*)((?:\s+[a-z-]+="[^"<>]*")*)\s*>)re");
  static const std::regex reference(R"(&(?:[a-z]+|#[0-9]+);)");
  const std::vector<std::string> voids = {"meta", "img", "br", "hr", "link"};
  std::vector<std::string> open;
  std::size_t at = page.find("<!DOCTYPE html>") == 0 ? 15 : std::string::npos;
  if (at == std::string::npos) return ::testing::AssertionFailure() << "no doctype";
  for (; at < page.size(); ++at) {
    if (page[at] == '&' && !std::regex_search(page.begin() + at, page.end(), reference,
                                              std::regex_constants::match_continuous)) {
      return ::testing::AssertionFailure() << "bare & at " << at;
    }
    if (page[at] != '<') continue;
    std::smatch m;
    if (!std::regex_search(page.cbegin() + at, page.cend(), m, tag,
                           std::regex_constants::match_continuous)) {
      return ::testing::AssertionFailure() << "malformed tag at " << page.substr(at, 40);
    }
    const std::string name = m[2];
    if (m[1].length() == 0) {
      if (std::find(voids.begin(), voids.end(), name) == voids.end()) open.push_back(name);
    } else if (open.empty() || open.back() != name) {
      return ::testing::AssertionFailure() << "</" << name << "> closes "
                                           << (open.empty() ? "nothing" : open.back());
    } else {
      open.pop_back();
    }
    at += m.length(0) - 1;
  }
  if (!open.empty()) return ::testing::AssertionFailure() << "<" << open.back() << "> not closed";
  return ::testing::AssertionSuccess();
}

std::vector<std::string> references(const std::string& page) {
  static const std::regex attribute(R"re((?:src|href)="([^"]*)")re");
  std::vector<std::string> files;
  for (std::sregex_iterator it(page.begin(), page.end(), attribute), end; it != end; ++it) {
    files.push_back((*it)[1]);
  }
  return files;
}

// Every reference is a plain file name of the folder that exists and, for a picture,
// reads back as an image.
void expectReferencesExist(const std::string& folder, const std::string& page) {
  for (const std::string& file : references(page)) {
    EXPECT_EQ(file.find('/'), std::string::npos) << file;
    EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/" + file)) << file;
    if (file.size() > 4 && file.substr(file.size() - 4) == ".png") {
      EXPECT_FALSE(cv::imread(folder + "/" + file).empty()) << file;
    }
  }
}

TEST(WriteReport, TheJsonHoldsTheRecordedNumbersExactly) {
  for (unsigned seed = 1; seed <= 2; ++seed) {
    TempDir dir;
    const CalibrationReport report = ringcalib::test::sampleReport(seed);
    std::string error;
    ASSERT_TRUE(writeReport(report, dir.file("out"), error)) << error;
    const json document = json::parse(readFileBytes(dir.file("out/report.json")));

    ASSERT_EQ(document["cameras"].size(), 6u);
    for (int n = 0; n < 6; ++n) {
      const auto& camera = report.cameras[n];
      const json& entry = document["cameras"][n];
      const json& intrinsic = entry["intrinsic"];
      EXPECT_EQ(entry["camera"], n);
      EXPECT_EQ(intrinsic["frames_read"], camera.intrinsic->framesRead);
      EXPECT_EQ(intrinsic["frames_sampled"], camera.intrinsic->framesSampled);
      EXPECT_EQ(intrinsic["frames_passing_cheap_test"], camera.intrinsic->framesPassingCheapTest);
      EXPECT_EQ(intrinsic["views_accepted"], camera.intrinsic->viewsAccepted);
      EXPECT_EQ(intrinsic["corners_kept"], camera.intrinsic->cornersKept);
      EXPECT_EQ(intrinsic["rms_error"].get<double>(), camera.intrinsic->rmsError);
      EXPECT_EQ(intrinsic["view_rms_errors"].get<std::vector<double>>(), camera.intrinsic->viewRmsErrors);
      for (int i = 0; i < 9; ++i) EXPECT_EQ(entry["K"][i / 3][i % 3].get<double>(), camera.K.val[i]);
      for (int i = 0; i < 4; ++i) EXPECT_EQ(entry["D"][i].get<double>(), camera.D[i]);
      EXPECT_EQ(entry["verdict"], "good");
    }
    ASSERT_EQ(document["pairs"].size(), 6u);
    for (int k = 0; k < 6; ++k) {
      const auto& pair = report.pairs[k];
      const json& entry = document["pairs"][k];
      EXPECT_EQ(entry["cameras"], json({k, (k + 1) % 6}));
      EXPECT_EQ(entry["correspondences"], pair.correspondences);
      EXPECT_EQ(entry["consistent_with_F"], pair.consistentWithF);
      EXPECT_EQ(entry["median_error"].get<double>(), pair.medianError);
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(entry["R_degrees"][i].get<double>(), pair.anglesDeg[i]);
        EXPECT_EQ(entry["t"][i].get<double>(), pair.t[i]);
      }
      for (int i = 0; i < 9; ++i) EXPECT_EQ(entry["R"][i / 3][i % 3].get<double>(), pair.R.val[i]);
    }
    EXPECT_LT(document["ring"]["closure_degrees"].get<double>(), 1e-9);
    EXPECT_EQ(document["ring"]["verdict"], "good");
    EXPECT_EQ(document["jobs"], json::parse(R"([{"job":"intrinsic","code":0},{"job":"extrinsic","code":0}])"));
  }
}

TEST(WriteReport, ThePageIsWellFormedAndShowsEveryPictureThatExists) {
  TempDir dir;
  const CalibrationReport report = ringcalib::test::sampleReport(3);
  std::string error;
  ASSERT_TRUE(writeReport(report, dir.path(), error)) << error;
  const std::string page = readFileBytes(dir.file("index.html"));
  EXPECT_TRUE(wellFormed(page));
  expectReferencesExist(dir.path(), page);
  // Two pictures per camera and per pair, and the link to report.json.
  EXPECT_EQ(references(page).size(), 6u * 2 + 6u * 2 + 1);
  for (const char* text : {"Cameras", "Pairs", "Ring closure", "share of the closure explained", "0.50 px"}) {
    EXPECT_NE(page.find(text), std::string::npos) << text;
  }
  // Every picture in the folder is on the page.
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    if (name == "index.html") continue;
    EXPECT_NE(page.find('"' + name + '"'), std::string::npos) << name;
  }
}

TEST(WriteReport, AFailedRunReportsWhatItReached) {
  // The intrinsic job stopped at camera 2 with too few views: no pairs, no pictures for
  // camera 2, and the verdicts say so.
  TempDir dir;
  CalibrationReport report = ringcalib::test::sampleReport(4);
  report.pairs.clear();
  report.cameras.resize(3);
  for (auto& camera : report.cameras) camera.preview.release();
  report.cameras[2].intrinsic->solved = false;
  report.cameras[2].intrinsic->corners.clear();
  report.cameras[2].intrinsic->rmsError = ringcalib::report::kNotMeasured;
  report.cameras[2].hasIntrinsics = false;
  report.jobs = {{"intrinsic", 3}};
  std::string error;
  ASSERT_TRUE(writeReport(report, dir.path(), error)) << error;
  const std::string page = readFileBytes(dir.file("index.html"));
  EXPECT_TRUE(wellFormed(page));
  expectReferencesExist(dir.path(), page);
  EXPECT_EQ(references(page).size(), 2u + 1);
  const json document = json::parse(readFileBytes(dir.file("report.json")));
  EXPECT_EQ(document["cameras"][2]["verdict"], "failed");
  EXPECT_TRUE(document["cameras"][2]["intrinsic"]["rms_error"].is_null());
  EXPECT_TRUE(document["pairs"].empty());
  EXPECT_EQ(document["ring"]["verdict"], "failed");
  EXPECT_EQ(document["jobs"][0]["code"], 3);
}

TEST(WriteReport, AFolderThatCannotBeMadeIsOneLineNamingIt) {
  TempDir dir;
  ringcalib::test::writeFileBytes(dir.file("plain"), "x");
  std::string error;
  EXPECT_FALSE(writeReport(ringcalib::test::sampleReport(1), dir.file("plain/out"), error));
  EXPECT_NE(error.find(dir.file("plain/out")), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

TEST(EscapeHtml, LeavesNoMarkupCharacter) {
  EXPECT_EQ(ringcalib::report::escapeHtml(R"(a<b>&"c"'d)"), "a&lt;b&gt;&amp;&quot;c&quot;&#39;d");
  EXPECT_TRUE(wellFormed("<!DOCTYPE html><p>" + ringcalib::report::escapeHtml("<x & y>") + "</p>"));
}

}  // namespace
