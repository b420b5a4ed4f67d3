#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>

#include "pose/cpose.h"
#include "tools/synthetic_two_view.h"
#include "tests/support/cout_capture.h"

namespace {

// "优化时间: " in GBK.
const std::string kTimingPrefix = "\xD3\xC5\xBB\xAF\xCA\xB1\xBC\xE4\x3A\x20";

// True for exactly one line: the GBK prefix, a decimal tick count, a line end.
bool isOneTimingLine(const std::string& text) {
  if (text.compare(0, kTimingPrefix.size(), kTimingPrefix) != 0) return false;
  std::string number = text.substr(kTimingPrefix.size());
  if (number.empty() || number.back() != '\n') return false;
  number.pop_back();
  if (!number.empty() && number.front() == '-') number.erase(0, 1);
  return !number.empty() && number.find_first_not_of("0123456789") == std::string::npos;
}

struct Estimate {
  double error;
  cv::Mat R, t;
  std::string printed;
};

Estimate decompose(const ringcalib::RingPairScene& scene, const cv::Mat& K, const cv::Mat& F,
                   const std::vector<cv::Point2f>& pts2) {
  Estimate estimate{0.0, (cv::Mat_<double>(3, 3) << 7, 7, 7, 7, 7, 7, 7, 7, 7),
                    (cv::Mat_<double>(3, 1) << 7, 7, 7), {}};
  ringcalib::test::CoutCapture captured;
  estimate.error =
      CPose().decomposeRtFromFundamentalMat(scene.pts1, pts2, K, F, estimate.R, estimate.t);
  estimate.printed = captured.text();
  return estimate;
}

bool untouched(const Estimate& estimate) {
  return cv::countNonZero(estimate.R != 7) == 0 && cv::countNonZero(estimate.t != 7) == 0;
}

ringcalib::RingPairScene ringPair(size_t correspondences, uint64_t seed) {
  ringcalib::RingPairOptions options;
  options.correspondences = correspondences;
  options.seed = seed;
  return ringcalib::makeRingPairScene(options);
}

TEST(DecomposeRtFromFundamentalMat, RecoversRingPairPoses) {
  // Rig-like pairs: 60 degrees of yaw, 0.15 m baseline, points 1.5 to 10 m away, 0.3 px
  // noise and 15 % gross outliers. 20000 pairs keep the run short; the real pairs have up to
  // 155520 and fare at least as well.
  for (uint64_t seed = 1; seed <= 5; ++seed) {
    const ringcalib::RingPairScene scene = ringPair(20000, seed);
    const cv::Mat F = cv::findFundamentalMat(scene.pts1, scene.pts2, cv::FM_RANSAC, 3.0, 0.99);
    const Estimate estimate = decompose(scene, scene.K, F, scene.pts2);

    EXPECT_TRUE(isOneTimingLine(estimate.printed)) << "seed " << seed;
    EXPECT_LT(estimate.error, 0.5) << "seed " << seed;  // median of 0.3 px noise ~ 0.35 px
    EXPECT_LT(ringcalib::rotationDifferenceDegrees(estimate.R, scene.R), 0.02) << "seed " << seed;
    EXPECT_LT(ringcalib::directionDifferenceDegrees(estimate.t, scene.t), 2.0) << "seed " << seed;
    EXPECT_NEAR(cv::norm(estimate.t), 1.0, 1e-12) << "seed " << seed;
    EXPECT_EQ(estimate.t.rows, 3);
    EXPECT_EQ(estimate.t.cols, 1);
  }
}

TEST(DecomposeRtFromFundamentalMat, FollowsBaselinesAwayFromTheRingsUsualDirection) {
  // Neighbours at different heights, short and long baselines, a denser ring and a ring
  // numbered the other way round (the second camera to the left, far from the usual
  // direction (0.8, 0, -0.4) that the refinement falls back to).
  struct Geometry {
    double yawDegrees, baseline, verticalOffset;
  };
  const std::vector<Geometry> geometries = {
      {60.0, 0.15, 0.03},  {60.0, 0.15, -0.03}, {60.0, 0.05, 0.01},
      {60.0, 0.40, -0.05}, {45.0, 0.15, 0.02},  {-60.0, 0.15, 0.0},
  };
  for (size_t g = 0; g < geometries.size(); ++g) {
    ringcalib::RingPairOptions options;
    options.correspondences = 20000;
    options.seed = 10 + g;
    options.yawDegrees = geometries[g].yawDegrees;
    options.baseline = geometries[g].baseline;
    options.verticalOffset = geometries[g].verticalOffset;
    const ringcalib::RingPairScene scene = ringcalib::makeRingPairScene(options);
    const cv::Mat F = cv::findFundamentalMat(scene.pts1, scene.pts2, cv::FM_RANSAC, 3.0, 0.99);
    const Estimate estimate = decompose(scene, scene.K, F, scene.pts2);

    EXPECT_LT(ringcalib::rotationDifferenceDegrees(estimate.R, scene.R), 0.02) << "geometry " << g;
    EXPECT_LT(ringcalib::directionDifferenceDegrees(estimate.t, scene.t), 2.0) << "geometry " << g;
  }
}

TEST(DecomposeRtFromFundamentalMat, PrintsTheTimingLineAlsoWithoutAnImprovement) {
  // No correspondences: no decomposition candidate passes and the refinement records
  // nothing, so R stays the identity and t the unnormalised start direction.
  const ringcalib::RingPairScene scene = ringPair(0, 1);
  const cv::Mat F = (cv::Mat_<double>(3, 3) << 0, 0, 0.1, 0, 0, -1, 0.2, 1, 0);
  const Estimate estimate = decompose(scene, scene.K, F, scene.pts2);
  EXPECT_TRUE(isOneTimingLine(estimate.printed)) << estimate.printed;
  EXPECT_EQ(estimate.error, CPose::kNoPoseError);
  EXPECT_EQ(cv::norm(estimate.R, cv::Mat::eye(3, 3, CV_64F), cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::norm(estimate.t, cv::Mat(cv::Vec3d(0.8, 0.0, -0.4)), cv::NORM_INF), 0.0);
}

TEST(DecomposeRtFromFundamentalMat, RefusesUnusableMatricesWithoutTouchingThePose) {
  const ringcalib::RingPairScene scene = ringPair(200, 3);
  const cv::Mat F = cv::findFundamentalMat(scene.pts1, scene.pts2, cv::FM_RANSAC, 3.0, 0.99);
  cv::Mat nanF = F.clone();
  nanF.at<double>(1, 1) = std::nan("");
  cv::Mat floatF;
  F.convertTo(floatF, CV_32F);
  const std::vector<std::pair<cv::Mat, cv::Mat>> refused = {
      {scene.K, cv::Mat()},       {scene.K, cv::Mat::eye(3, 4, CV_64F)},
      {scene.K, floatF},          {scene.K, nanF},
      {cv::Mat(), F},             {scene.K.rowRange(0, 2), F},
  };
  for (size_t k = 0; k < refused.size(); ++k) {
    const Estimate estimate = decompose(scene, refused[k].first, refused[k].second, scene.pts2);
    EXPECT_EQ(estimate.error, CPose::kNoPoseError) << "case " << k;
    EXPECT_TRUE(untouched(estimate)) << "case " << k;
    EXPECT_EQ(estimate.printed, "") << "case " << k;
  }

  const std::vector<cv::Point2f> shorter(scene.pts2.begin(), scene.pts2.end() - 1);
  const Estimate estimate = decompose(scene, scene.K, F, shorter);
  EXPECT_EQ(estimate.error, CPose::kNoPoseError);
  EXPECT_TRUE(untouched(estimate));
  EXPECT_EQ(estimate.printed, "");
}

}  // namespace
