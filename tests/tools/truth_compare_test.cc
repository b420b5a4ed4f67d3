// Error measures against the truth, the truth file, and the comparison of a parameter file.
#include "tools/truth_compare.h"

#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>

#include "tests/support/test_support.h"
#include "tools/camera_draw.h"
#include "tools/parameter_comparison.h"
#include "tools/synthetic_rig.h"
#include "tools/truth_file.h"

namespace ringcalib::synth {
namespace {

cv::Matx33d rotation(const cv::Vec3d& axisAngle) {
  cv::Matx33d R;
  cv::Rodrigues(axisAngle, R);
  return R;
}

TEST(ProjectionRmsError, IsZeroForTheTruthAndTheShiftForAShiftedCentre) {
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    const CameraTruth truth = drawCamera(seed, 0, 3200, 2400);
    EXPECT_EQ(projectionRmsError(truth, truth.K, truth.D), 0.0);
    // Moving the principal point moves every projection by the same vector.
    cv::Matx33d shifted = truth.K;
    shifted(0, 2) += 0.3;
    shifted(1, 2) -= 0.4;
    EXPECT_NEAR(projectionRmsError(truth, shifted, truth.D), 0.5, 1e-9);
  }
}

TEST(ProjectionRmsError, WeighsTheWholeConeAndGrowsWithIt) {
  const CameraTruth truth = drawCamera(2, 3, 3200, 2400);
  cv::Vec4d D = truth.D;
  D[3] += 1e-5;  // k4 moves mainly the periphery: theta_d changes by 1e-5 theta⁹
  const double within40 = projectionRmsError(truth, truth.K, D, 40.0);
  const double within80 = projectionRmsError(truth, truth.K, D, 80.0);
  EXPECT_GT(within80, 20.0 * within40);
  // At 80°, theta⁹ · fx · 1e-5 is about 0.17 px; the RMS over the cone lies below that.
  EXPECT_GT(within80, 0.01);
  EXPECT_LT(within80, 0.17);
  cv::Matx33d scaled = truth.K;
  scaled(0, 0) *= 1.001;
  EXPECT_GT(projectionRmsError(truth, scaled, truth.D), 0.3);
}

TEST(PoseErrors, MeasureAnglesInDegrees) {
  const cv::Matx33d R = rotation({0.3, -0.5, 0.8});
  EXPECT_NEAR(rotationErrorDeg(R, R), 0.0, 1e-12);
  const double small = 0.02 * CV_PI / 180.0;
  EXPECT_NEAR(rotationErrorDeg(rotation(cv::Vec3d(0.0, small, 0.0)) * R, R), 0.02, 1e-9);
  EXPECT_NEAR(rotationErrorDeg(rotation(cv::Vec3d(CV_PI, 0.0, 0.0)), cv::Matx33d::eye()), 180.0, 1e-6);

  EXPECT_NEAR(directionErrorDeg({0.866, 0.0, -0.5}, {1.732, 0.0, -1.0}), 0.0, 1e-12) << "lengths do not matter";
  EXPECT_NEAR(directionErrorDeg({1.0, 0.0, 0.0}, {0.0, 0.0, 2.0}), 90.0, 1e-12);
  EXPECT_NEAR(directionErrorDeg({1.0, 0.0, 0.0}, {-1.0, 0.0, 0.0}), 180.0, 1e-12);
  EXPECT_NEAR(directionErrorDeg({1.0, 1e-9, 0.0}, {1.0, 0.0, 0.0}), 1e-9 * 180.0 / CV_PI, 1e-15)
      << "tiny angles keep their digits";
}

RigTruth sampleTruth() {
  RigTruth truth{};
  for (int n = 0; n < 6; ++n) {
    truth.cameras[static_cast<size_t>(n)] = drawCamera(11, n, 3200, 2400);
    truth.pairs[static_cast<size_t>(n)] = {rotation({0.01 * n, -1.047, 0.002}), cv::Vec3d(0.866, 0.01 * n, -0.5)};
  }
  return truth;
}

TEST(TruthFile, RoundTripsAndNamesTheFileOnErrors) {
  test::TempDir dir;
  const RigTruth truth = sampleTruth();
  GeometricPairs geometric = truth.pairs;
  geometric[2].t = {1.0, 0.0, 0.0};
  writeTruthFile(dir.file("truth.json"), truth, geometric, RigOptions());
  const RigTruth back = readTruth(dir.file("truth.json"));
  for (size_t n = 0; n < 6; ++n) {
    EXPECT_EQ(back.cameras[n].K, truth.cameras[n].K);
    EXPECT_EQ(back.cameras[n].D, truth.cameras[n].D);
    EXPECT_EQ(back.pairs[n].R, truth.pairs[n].R);
    EXPECT_EQ(back.pairs[n].t, truth.pairs[n].t);
  }
  EXPECT_EQ(readGeometricPairs(dir.file("truth.json"))[2].t, cv::Vec3d(1.0, 0.0, 0.0));
  test::writeFileBytes(dir.file("bad.json"), "{\"cameras\": [1, 2]}");
  for (const std::string& path : {dir.file("missing.json"), dir.file("bad.json")}) {
    try {
      readTruth(path);
      ADD_FAILURE() << "expected an error for " << path;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }
}

// A parameter file in the tool's layout, holding the truth with known offsets.
std::string parameterFile(const RigTruth& truth, bool withPairs, int skipCamera) {
  std::string text = "{";
  for (int n = 0; n < 6; ++n) {
    if (n == skipCamera) continue;
    const CameraTruth& c = truth.cameras[static_cast<size_t>(n)];
    char buffer[512];
    std::snprintf(buffer, sizeof buffer,
                  "\"origin_%d\":{\"camera_matrix\":{\"w\":%.17g,\"x\":%.17g,\"y\":%.17g,\"z\":%.17g},"
                  "\"distortion_factor\":{\"w\":%.17g,\"x\":%.17g,\"y\":%.17g,\"z\":%.17g}",
                  n, c.K(1, 2), c.K(0, 0) + 0.25, c.K(1, 1), c.K(0, 2), c.D[3], c.D[0], c.D[1], c.D[2]);
    text += buffer;
    if (withPairs) {
      // Pair n turned by n · 0.01° about y, its direction unchanged.
      const PairTruth& p = truth.pairs[static_cast<size_t>(n)];
      const cv::Matx33d R = rotation(cv::Vec3d(0.0, n * 0.01 * CV_PI / 180.0, 0.0)) * p.R;
      text += ",\"extrinsic_param\":{";
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
          std::snprintf(buffer, sizeof buffer, "\"R%d%d\":%.17g,", i, j, R(i, j));
          text += buffer;
        }
        std::snprintf(buffer, sizeof buffer, "\"T%d0\":%.17g%s", i, 2.0 * p.t[i], i < 2 ? "," : "");
        text += buffer;
      }
      text += "}";
    }
    text += "},";
  }
  return text + "\"version\":1}";
}

TEST(ParameterComparison, ReportsEveryCameraAndPair) {
  test::TempDir dir;
  const RigTruth truth = sampleTruth();
  test::writeFileBytes(dir.file("params.json"), parameterFile(truth, true, -1));
  const RigComparison comparison = compareParameterFile(truth, dir.file("params.json"));
  ASSERT_TRUE(comparison.allCamerasFound());
  for (size_t n = 0; n < 6; ++n) {
    EXPECT_NEAR(comparison.cameras[n].differences[0], 0.25, 1e-9);
    EXPECT_NEAR(comparison.cameras[n].differences[1], 0.0, 1e-9);
    EXPECT_GT(comparison.cameras[n].modelRmsPx, 0.1);
    ASSERT_TRUE(comparison.pairs[n].found);
    EXPECT_NEAR(comparison.pairs[n].rotationDeg, 0.01 * static_cast<double>(n), 1e-6);
    EXPECT_NEAR(comparison.pairs[n].directionDeg, 0.0, 1e-6);
  }
}

TEST(ParameterComparison, IntrinsicOnlyFileHasNoPairs) {
  test::TempDir dir;
  const RigTruth truth = sampleTruth();
  test::writeFileBytes(dir.file("params.json"), parameterFile(truth, false, 4));
  const RigComparison comparison = compareParameterFile(truth, dir.file("params.json"));
  EXPECT_FALSE(comparison.allCamerasFound());
  EXPECT_FALSE(comparison.cameras[4].found);
  EXPECT_TRUE(comparison.cameras[5].found);
  for (const PairComparison& p : comparison.pairs) EXPECT_FALSE(p.found);

  std::ostringstream table;
  printComparison(table, comparison);
  EXPECT_NE(table.str().find("     4  not in file\n"), std::string::npos) << table.str();
  EXPECT_NE(table.str().find("   5-0  not in file\n"), std::string::npos) << table.str();
}

TEST(ParameterComparison, UnreadableFilesAreNamed) {
  test::TempDir dir;
  test::writeFileBytes(dir.file("params.json"), "not json");
  for (const std::string& path : {dir.file("params.json"), dir.file("absent.json")}) {
    try {
      compareParameterFile(sampleTruth(), path);
      ADD_FAILURE() << "expected an error for " << path;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace ringcalib::synth
