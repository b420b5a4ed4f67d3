// The extrinsic job on generated rigs, through the real executable: its output, the file it
// leaves, and the poses against the generator's truth, also from a CMYK still.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>

#include "calibration/compact_json.h"
#include "tests/calibration/truth_parameter_file.h"
#include "tests/support/cmyk_jpeg.h"
#include "tests/support/rig_cache.h"
#include "tests/support/test_support.h"
#include "tools/synthetic_rig.h"
#include "tools/truth_compare.h"

namespace {

using namespace ringcalib;

constexpr double kMaxRotationErrorDeg = 0.05;
constexpr double kMaxDirectionErrorDeg = 3.0;

// One pair's block of output: counts, "F " and the 3-line matrix, the pose step's timing
// line, the angles, the translation and the progress.
void expectPairBlock(const std::vector<std::string>& out, std::size_t at,
                     const std::string& progress) {
  ASSERT_LE(at + 9, out.size());
  EXPECT_TRUE(std::regex_match(out[at], std::regex("pts1\\.size, pts2\\.size: ([0-9]+) \\1")))
      << out[at];
  EXPECT_EQ(out[at + 1], "F ");
  EXPECT_TRUE(std::regex_match(out[at + 2], std::regex("\\[[^;\\]]*;")));
  EXPECT_TRUE(std::regex_match(out[at + 3], std::regex(" [^;\\]]*;")));
  EXPECT_TRUE(std::regex_match(out[at + 4], std::regex(" [^;\\]]*\\]")));
  EXPECT_EQ(out[at + 5].rfind("\xd3\xc5\xbb\xaf\xca\xb1\xbc\xe4: ", 0), 0u) << out[at + 5];
  EXPECT_TRUE(std::regex_match(out[at + 6], std::regex("R: \\S+ \\S+ \\S+"))) << out[at + 6];
  EXPECT_TRUE(std::regex_match(out[at + 7], std::regex("t: \\[[^,]+, [^,]+, [^,]+\\]")))
      << out[at + 7];
  EXPECT_EQ(out[at + 8], "progress:" + progress);
}

cv::Matx33d storedRotation(const nlohmann::json& pose) {
  cv::Matx33d R;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) R(i, j) = pose.at("R" + std::to_string(i) + std::to_string(j));
  }
  return R;
}

cv::Vec3d storedTranslation(const nlohmann::json& pose) {
  return cv::Vec3d(pose.at("T00"), pose.at("T10"), pose.at("T20"));
}

// The stored pose of pair (pair, pair + 1) against the truth: both bars, a unit translation,
// and the errors printed for the record.
void expectPairWithinBars(const nlohmann::json& stored, const synth::RigTruth& truth, int pair) {
  const nlohmann::json& pose = stored.at("origin_" + std::to_string(pair)).at("extrinsic_param");
  const double rotationError = synth::rotationErrorDeg(storedRotation(pose), truth.pairs[pair].R);
  const double directionError =
      synth::directionErrorDeg(storedTranslation(pose), truth.pairs[pair].t);
  EXPECT_LT(rotationError, kMaxRotationErrorDeg) << "pair " << pair;
  EXPECT_LT(directionError, kMaxDirectionErrorDeg) << "pair " << pair;
  EXPECT_NEAR(cv::norm(storedTranslation(pose)), 1.0, 1e-9) << "pair " << pair;
  std::cout << "pair " << pair << " (" << pair << "," << (pair + 1) % 6 << "): rotation error "
            << rotationError << " deg, direction error " << directionError << " deg"
            << std::endl;
}

// The shared default-size rig (4000 x 3000 stills) with the truth's intrinsics, so that the
// poses are measured without the intrinsic job's own error. Smaller stills are not a cheaper
// stand-in: the job always works on 3600 x 3600 views, and upsampled stills give the flow
// less texture to follow.
TEST(ExtrinsicAccuracy, GeneratedRingThroughTheExtrinsicJob) {
  synth::RigTruth truth;
  const std::string rig = test::cachedRig(test::sharedRigOptions(), truth);
  {
    test::TempDir dir;
    // Members the job does not know, and a stale pose, next to the truth intrinsics.
    const std::string file = dir.file("params.json");
    nlohmann::json document = test::truthParameterDocument(truth);
    document["note"] = "bench rig";
    document["origin_2"]["lens"] = {{"model", "fisheye"}, {"id", 7}};
    document["origin_1"]["extrinsic_param"] = {{"R00", 0.0}, {"T00", 9.0}};
    test::writeFileBytes(file, serializeCompact(document));

    const auto start = std::chrono::steady_clock::now();
    const test::RunResult result =
        test::runTool({"--what", "extrinsic", "-i", rig + "/image", "-f", file});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(result.err, "");

    const std::vector<std::string> out = test::splitLines(result.out);
    ASSERT_EQ(out.size(), 12u + 6u * 9u + 1u) << result.out;
    const std::vector<std::string> progress = {
        "0.0166667", "0.0333333", "0.05",     "0.0666667", "0.0833333", "0.1",
        "0.155556",  "0.211111",  "0.266667", "0.322222",  "0.377778",  "0.433333",
        "0.527778",  "0.622222",  "0.716667", "0.811111",  "0.905556",  "1"};
    for (int k = 0; k < 12; ++k) EXPECT_EQ(out[k], "progress:" + progress[k]);
    for (int pair = 0; pair < 6; ++pair) expectPairBlock(out, 12 + 9 * pair, progress[12 + pair]);
    EXPECT_EQ(out.back(), "result : 0");

    // The file: in compact form, everything it held kept, the six poses replacing any old.
    const std::string bytes = test::readFileBytes(file);
    nlohmann::json stored = nlohmann::json::parse(bytes);
    EXPECT_EQ(bytes, serializeCompact(stored));
    nlohmann::json kept = stored;
    nlohmann::json before = nlohmann::json::parse(serializeCompact(document));
    for (int n = 0; n < 6; ++n) {
      const std::string key = "origin_" + std::to_string(n);
      EXPECT_EQ(kept[key]["extrinsic_param"].size(), 12u) << key;
      kept[key].erase("extrinsic_param");
      before[key].erase("extrinsic_param");
    }
    EXPECT_EQ(kept, before);

    for (int pair = 0; pair < 6; ++pair) expectPairWithinBars(stored, truth, pair);
    std::cout << "extrinsic job " << seconds << " s" << std::endl;
  }
}

TEST(ExtrinsicAccuracy, CmykStillGivesTheSamePoses) {
  // Some cameras and photo tools save stills as four-component Adobe CMYK JPEGs. The library
  // reads them as colour images, so camera 0's still in that form must give the poses of
  // its two pairs, (5,0) and (0,1), as well as the ordinary JPEG does.
  synth::RigTruth truth;
  const std::string rig = test::cachedRig(test::sharedRigOptions(), truth);
  test::TempDir dir;
  const std::string images = dir.file("image");
  ASSERT_EQ(::mkdir(images.c_str(), 0755), 0);
  const cv::Mat still = cv::imread(rig + "/image/origin_0.jpg", cv::IMREAD_COLOR);
  ASSERT_FALSE(still.empty());
  test::writeFileBytes(images + "/origin_0.jpg", test::encodeCmykJpeg(still));
  for (int n = 1; n < 6; ++n) {
    const std::string name = "/origin_" + std::to_string(n) + ".jpg";
    ASSERT_EQ(::symlink((rig + "/image" + name).c_str(), (images + name).c_str()), 0);
  }
  const std::string file = dir.file("params.json");
  test::writeFileBytes(file, serializeCompact(test::truthParameterDocument(truth)));

  const test::RunResult result =
      test::runTool({"--what", "extrinsic", "-i", images, "-f", file});
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.err, "");
  const nlohmann::json stored = nlohmann::json::parse(test::readFileBytes(file));
  for (int pair : {5, 0}) expectPairWithinBars(stored, truth, pair);
}

}  // namespace
