// The extrinsic job's failures before the pair stage, run through the real executable.
#include <sys/stat.h>

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "calibration/compact_json.h"
#include "calibration/extrinsic_calibration.h"
#include "core/result_code.h"
#include "tests/support/cout_capture.h"
#include "tests/support/test_support.h"

namespace {

using ringcalib::test::readFileBytes;
using ringcalib::test::runTool;
using ringcalib::test::TempDir;

// A parameter file from an intrinsic run, for six cameras with plausible values.
nlohmann::json sixCameras() {
  nlohmann::json document;
  document["version"] = 1;
  for (int n = 0; n < 6; ++n) {
    auto& camera = document["origin_" + std::to_string(n)];
    camera["camera_matrix"] = {{"x", 840.0 + n}, {"y", 841.0}, {"z", 25.6}, {"w", 19.2}};
    camera["distortion_factor"] = {{"x", 0.02}, {"y", -0.004}, {"z", 0.001}, {"w", -0.0002}};
  }
  return document;
}

// Small textured stills origin_<first> ... origin_<last>.jpg in `folder`.
void writeStills(const std::string& folder, int first, int last) {
  cv::Mat still(48, 64, CV_8U);
  for (int n = first; n <= last; ++n) {
    cv::randu(still, 0, 256);
    ASSERT_TRUE(cv::imwrite(folder + "/origin_" + std::to_string(n) + ".jpg", still));
  }
}

class ExtrinsicJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    images_ = dir_.path() + "/image";
    ASSERT_EQ(::mkdir(images_.c_str(), 0755), 0);
    file_ = dir_.file("params.json");
    setDocument(sixCameras());
  }
  void setDocument(const nlohmann::json& document) {
    original_ = ringcalib::serializeCompact(document);
    ringcalib::test::writeFileBytes(file_, original_);
  }
  ringcalib::test::RunResult run(const std::vector<std::string>& imageArgs) {
    std::vector<std::string> args = {"--what", "extrinsic", "--file", file_};
    args.insert(args.end(), imageArgs.begin(), imageArgs.end());
    return runTool(args);
  }
  void expectFileUnchanged() { EXPECT_EQ(readFileBytes(file_), original_); }

  TempDir dir_;
  std::string images_;
  std::string file_;
  std::string original_;
};

TEST_F(ExtrinsicJobTest, MissingImageEndsAfterTheCamerasBeforeIt) {
  writeStills(images_, 0, 1);
  const auto result = run({"-i", images_});
  EXPECT_EQ(result.status, ringcalib::kImageMissing);
  EXPECT_EQ(result.out, "progress:0.0166667\nprogress:0.0333333\n" + images_ +
                            "/origin_2.jpg is empty\nresult : 7\n");
  EXPECT_EQ(result.err, "");
  expectFileUnchanged();
}

TEST_F(ExtrinsicJobTest, OnlyTheFirstImageFolderIsRead) {
  const std::string complete = dir_.path() + "/complete";
  ASSERT_EQ(::mkdir(complete.c_str(), 0755), 0);
  writeStills(complete, 0, 5);
  writeStills(images_, 0, 0);
  const auto result = run({"-i", images_, "-i", complete});
  EXPECT_EQ(result.status, ringcalib::kImageMissing);
  EXPECT_EQ(result.out, "progress:0.0166667\n" + images_ + "/origin_1.jpg is empty\nresult : 7\n");
  expectFileUnchanged();
}

TEST_F(ExtrinsicJobTest, CameraWithoutCameraMatrix) {
  nlohmann::json document = sixCameras();
  document["origin_3"].erase("camera_matrix");
  setDocument(document);

  // Camera 3's image is checked before its parameters are read.
  writeStills(images_, 0, 2);
  auto result = run({"-i", images_});
  EXPECT_EQ(result.status, ringcalib::kImageMissing);
  EXPECT_NE(result.out.find("/origin_3.jpg is empty\n"), std::string::npos) << result.out;

  writeStills(images_, 3, 5);
  result = run({"-i", images_});
  EXPECT_EQ(result.status, ringcalib::kBadParameterFile);
  EXPECT_EQ(result.out,
            "progress:0.0166667\nprogress:0.0333333\nprogress:0.05\n"
            "read intrinsic param failed : [json.exception.type_error.302] type must be number, "
            "but is null\nresult : 4\n");
  expectFileUnchanged();
}

TEST_F(ExtrinsicJobTest, NoImageFolder) {
  const auto result = run({});
  EXPECT_EQ(result.status, ringcalib::kImageMissing);
  EXPECT_NE(result.out.find("--image"), std::string::npos);
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 2) << result.out;
  expectFileUnchanged();
}

TEST_F(ExtrinsicJobTest, AfterTheIntrinsicJobProgressIsTheLastTenthInFixedNotation) {
  // In "all" the intrinsic job has left standard output in fixed notation.
  writeStills(images_, 0, 1);
  const std::ios::fmtflags flags = std::cout.flags();
  std::string text;
  int code = -1;
  {
    ringcalib::test::CoutCapture out;
    std::cout << std::fixed;
    ExtrinsicCalibration job;
    code = job.Calibrate({images_}, file_, InputParam::ALL);
    text = out.text();
  }
  std::cout.flags(flags);
  EXPECT_EQ(code, ringcalib::kImageMissing);
  EXPECT_EQ(text, "progress:0.901667\nprogress:0.903333\n" + images_ + "/origin_2.jpg is empty\n");
  expectFileUnchanged();
}

}  // namespace
