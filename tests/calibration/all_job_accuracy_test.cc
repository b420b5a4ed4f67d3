// The whole tool on the shared generated rig: one "all" run, its output in the notation the
// intrinsic part leaves behind, and every camera model and pair pose against the truth.
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/rig_cache.h"
#include "tests/support/test_support.h"
#include "tools/truth_compare.h"

namespace {

using namespace ringcalib;

constexpr double kMaxProjectionRms = 0.3;     // pixels, rays within 80 degrees of the axis
constexpr double kMaxMatrixError = 1.0;       // pixels, each of fx, fy, cx, cy
constexpr double kMaxRotationErrorDeg = 0.05;
constexpr double kMaxDirectionErrorDeg = 3.0;

double number(const nlohmann::json& object, const char* key) { return object.at(key).get<double>(); }

TEST(AllJob, GeneratedRigMeetsBothBars) {
  synth::RigTruth truth;
  const std::string rig = test::cachedRig(test::sharedRigOptions(), truth);
  test::TempDir out;
  const std::string file = out.file("params.json");
  const test::RunResult run = test::runTool(
      {"--what", "all", "-v", rig + "/video", "-i", rig + "/image", "-f", file});
  ASSERT_EQ(run.status, 0) << run.out.substr(run.out.size() > 3000 ? run.out.size() - 3000 : 0);
  EXPECT_EQ(run.err, "");

  // Progress after each camera's solve (0.9 share), then the extrinsic part's 18 values in
  // fixed notation, and its angles with six decimals as well.
  const std::vector<std::string> out_lines = test::splitLines(run.out);
  std::vector<std::string> afterSolve;
  for (std::size_t k = 0; k + 4 < out_lines.size(); ++k) {
    if (out_lines[k] == "fisheye D") afterSolve.push_back(out_lines[k + 2]);
  }
  EXPECT_EQ(afterSolve, std::vector<std::string>({"progress:0.150000", "progress:0.300000",
                                                  "progress:0.450000", "progress:0.600000",
                                                  "progress:0.750000", "progress:0.900000"}));
  const std::vector<std::string> extrinsicProgress = {
      "0.901667", "0.903333", "0.905000", "0.906667", "0.908333", "0.910000",
      "0.915556", "0.921111", "0.926667", "0.932222", "0.937778", "0.943333",
      "0.952778", "0.962222", "0.971667", "0.981111", "0.990556", "1.000000"};
  std::vector<std::string> seen;
  std::size_t firstExtrinsic = 0;
  for (std::size_t k = 0; k < out_lines.size(); ++k) {
    if (out_lines[k] == "progress:0.901667") firstExtrinsic = k;
  }
  ASSERT_GT(firstExtrinsic, 0u);
  for (std::size_t k = firstExtrinsic; k < out_lines.size(); ++k) {
    if (out_lines[k].rfind("progress:", 0) == 0) seen.push_back(out_lines[k].substr(9));
    if (out_lines[k].rfind("R: ", 0) == 0) {
      EXPECT_TRUE(std::regex_match(out_lines[k],
                                   std::regex("R: -?[0-9]+\\.[0-9]{6} -?[0-9]+\\.[0-9]{6} "
                                              "-?[0-9]+\\.[0-9]{6}")))
          << out_lines[k];
    }
  }
  EXPECT_EQ(seen, extrinsicProgress);
  EXPECT_EQ(out_lines.back(), "result : 0");

  const nlohmann::json document = nlohmann::json::parse(test::readFileBytes(file));
  for (int camera = 0; camera < 6; ++camera) {
    const nlohmann::json& entry = document.at("origin_" + std::to_string(camera));
    const nlohmann::json& m = entry.at("camera_matrix");
    const nlohmann::json& d = entry.at("distortion_factor");
    const cv::Matx33d K(number(m, "x"), 0, number(m, "z"), 0, number(m, "y"), number(m, "w"), 0,
                        0, 1);
    const cv::Vec4d D(number(d, "x"), number(d, "y"), number(d, "z"), number(d, "w"));
    const synth::CameraTruth& expected = truth.cameras[camera];
    const double rms = synth::projectionRmsError(expected, K, D, 80.0);
    std::cout << "camera " << camera << ": projection RMS " << rms << " px, fx "
              << K(0, 0) - expected.K(0, 0) << " fy " << K(1, 1) - expected.K(1, 1) << " cx "
              << K(0, 2) - expected.K(0, 2) << " cy " << K(1, 2) - expected.K(1, 2) << std::endl;
    SCOPED_TRACE("camera " + std::to_string(camera));
    EXPECT_LT(rms, kMaxProjectionRms);
    EXPECT_NEAR(K(0, 0), expected.K(0, 0), kMaxMatrixError);
    EXPECT_NEAR(K(1, 1), expected.K(1, 1), kMaxMatrixError);
    EXPECT_NEAR(K(0, 2), expected.K(0, 2), kMaxMatrixError);
    EXPECT_NEAR(K(1, 2), expected.K(1, 2), kMaxMatrixError);

    const nlohmann::json& pose = entry.at("extrinsic_param");
    cv::Matx33d R;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) R(i, j) = pose.at("R" + std::to_string(i) + std::to_string(j));
    }
    const cv::Vec3d t(number(pose, "T00"), number(pose, "T10"), number(pose, "T20"));
    const double rotationError = synth::rotationErrorDeg(R, truth.pairs[camera].R);
    const double directionError = synth::directionErrorDeg(t, truth.pairs[camera].t);
    std::cout << "pair (" << camera << "," << (camera + 1) % 6 << "): rotation error "
              << rotationError << " deg, direction error " << directionError << " deg"
              << std::endl;
    EXPECT_LT(rotationError, kMaxRotationErrorDeg);
    EXPECT_LT(directionError, kMaxDirectionErrorDeg);
  }
}

}  // namespace
