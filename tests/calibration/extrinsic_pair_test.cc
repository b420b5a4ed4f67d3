#include <cmath>
#include <limits>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>

#include "calibration/extrinsic_calibration.h"
#include "calibration/extrinsic_geometry.h"
#include "core/gbk_text.h"
#include "core/result_code.h"
#include "pose/cpose.h"
#include "tests/support/cout_capture.h"

namespace {

using ringcalib::extrinsic::targetCameraMatrix;
using ringcalib::test::CoutCapture;

constexpr double kDegree = CV_PI / 180;

struct PairScene {
  cv::Mat R;  // X2 = R (X1 - t)
  cv::Mat t;  // unit
  std::vector<cv::Point2f> pts1;
  std::vector<cv::Point2f> pts2;
};

// Two views of the common pinhole camera as neighbours on the ring: the second turned
// about 60 degrees about the vertical axis and set 15 cm off, points 2 to 8 m away in the
// directions both see, pixel noise of 0.3 px.
PairScene ringPair(int seed) {
  cv::RNG rng(seed);
  PairScene scene;
  const cv::Vec3d angles(rng.gaussian(1.0), 60 + rng.gaussian(1.0), rng.gaussian(1.0));
  cv::Mat Ry;
  cv::Rodrigues(cv::Vec3d(0, -angles[1] * kDegree, 0), Ry);
  cv::Mat Rsmall;
  cv::Rodrigues(cv::Vec3d(angles[0], 0, angles[2]) * kDegree, Rsmall);
  scene.R = Rsmall * Ry;
  const cv::Vec3d centre(0.13 + rng.gaussian(0.005), rng.gaussian(0.005), -0.075);
  scene.t = cv::Mat(centre / cv::norm(centre));
  const cv::Mat K = targetCameraMatrix();
  while (scene.pts1.size() < 3000) {
    const double azimuth = rng.uniform(-5.0, 65.0) * kDegree;
    const double elevation = rng.uniform(-40.0, 40.0) * kDegree;
    const double depth = rng.uniform(2.0, 8.0);
    const cv::Mat X1 = (cv::Mat_<double>(3, 1) << std::sin(azimuth) * std::cos(elevation),
                        std::sin(elevation), std::cos(azimuth) * std::cos(elevation)) *
                       depth;
    const cv::Mat X2 = scene.R * (X1 - cv::Mat(centre));
    if (X2.at<double>(2) < 0.3) continue;
    const cv::Mat p1 = K * X1 / X1.at<double>(2);
    const cv::Mat p2 = K * X2 / X2.at<double>(2);
    const auto noisy = [&](const cv::Mat& p) {
      return cv::Point2f(static_cast<float>(p.at<double>(0) + rng.gaussian(0.3)),
                         static_cast<float>(p.at<double>(1) + rng.gaussian(0.3)));
    };
    const cv::Point2f q2 = noisy(p2);
    if (q2.x < 0 || q2.x > 3599 || q2.y < 0 || q2.y > 3599) continue;
    scene.pts1.push_back(noisy(p1));
    scene.pts2.push_back(q2);
  }
  return scene;
}

double rotationErrorDeg(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat axis;
  cv::Rodrigues(a * b.t(), axis);
  return cv::norm(axis) / kDegree;
}

double directionErrorDeg(const cv::Mat& a, const cv::Mat& b) {
  const double c = a.dot(b) / (cv::norm(a) * cv::norm(b));
  return std::acos(std::min(1.0, std::max(-1.0, c))) / kDegree;
}

TEST(PoseFromMatches, RecoversARingPairAndPrintsTheDiagnostics) {
  ExtrinsicCalibration job;
  for (int seed = 1; seed <= 3; ++seed) {
    const PairScene scene = ringPair(seed);
    cv::Mat R;
    cv::Mat t;
    CoutCapture out;
    ASSERT_EQ(job.poseFromMatches(4, 5, scene.pts1, scene.pts2, targetCameraMatrix(), R, t),
              ringcalib::kSuccess)
        << out.text();
    EXPECT_LT(rotationErrorDeg(R, scene.R), 0.05) << "seed " << seed;
    EXPECT_LT(directionErrorDeg(t, scene.t), 3.0) << "seed " << seed;
    EXPECT_NEAR(cv::norm(t), 1.0, 1e-9);
    // Counts, "F " and its matrix, the pose step's lines, the angles, the translation.
    const std::regex expected(
        "pts1\\.size, pts2\\.size: 3000 3000\nF \n\\[[^\\]]*\\]\n[^\n]*\n"
        "R: -?[0-9.e+-]+ -?[0-9.e+-]+ -?[0-9.e+-]+\nt: \\[[^\\]\n]*\\]\n");
    EXPECT_TRUE(std::regex_match(out.text(), expected)) << out.text();
    // The printed angles are R's angle triple in degrees: about 60 about the y axis, with
    // the sign of the stored matrix's (0,2) element reversed.
    EXPECT_NE(out.text().find("R: "), std::string::npos);
    double x = 0;
    double y = 0;
    double z = 0;
    std::istringstream(out.text().substr(out.text().find("R: ") + 3)) >> x >> y >> z;
    EXPECT_NEAR(y, -std::asin(R.at<double>(0, 2)) * 180 / CPose::PI, 1e-4);
  }
}

// Runs poseFromMatches on pair (1, 2) and returns the cause it printed for a failure.
std::string failureCause(const std::vector<cv::Point2f>& pts1,
                         const std::vector<cv::Point2f>& pts2) {
  ExtrinsicCalibration job;
  cv::Mat R;
  cv::Mat t;
  CoutCapture out;
  EXPECT_EQ(job.poseFromMatches(1, 2, pts1, pts2, targetCameraMatrix(), R, t),
            ringcalib::kComputationFailed);
  EXPECT_TRUE(R.empty() && t.empty());
  const std::string text = out.text();
  const std::string prefix = "extrinsic calibration of pair 1-2 failed: ";
  const std::size_t at = text.rfind(prefix);
  if (at == std::string::npos || text.back() != '\n') return "no failure line in: " + text;
  const std::string cause = text.substr(at + prefix.size(), text.size() - at - prefix.size() - 1);
  EXPECT_EQ(cause.find('\n'), std::string::npos) << text;
  return cause;
}

TEST(PoseFromMatches, UnusableEstimatesFailWithOneLine) {
  const PairScene scene = ringPair(4);
  // Every correspondence the same pixel pair: no fundamental matrix fits.
  EXPECT_EQ(failureCause(std::vector<cv::Point2f>(150, cv::Point2f(1000.f, 1200.f)),
                         std::vector<cv::Point2f>(150, cv::Point2f(1100.f, 1200.f))),
            "no fundamental matrix fits the 150 correspondences");
  // Points at infinity (a warp's w = 0) reach the refinement: one makes the pose NaN, ...
  std::vector<cv::Point2f> pts2 = scene.pts2;
  const float infinity = std::numeric_limits<float>::infinity();
  pts2[7].x = infinity;
  EXPECT_EQ(failureCause(scene.pts1, pts2), "the estimated pose is not finite");
  // ... half of them leave no iteration with a finite median error.
  for (std::size_t k = 0; k < pts2.size(); k += 2) pts2[k].x = infinity;
  EXPECT_EQ(failureCause(scene.pts1, pts2), "the pose step found no usable pose");
}

TEST(SolvePair, TooFewMatchesPrintTheGbkLine) {
  ExtrinsicCalibration job;
  // Views this small hold fewer than 100 grid samples in their central strip.
  cv::Mat view(40, 40, CV_8U);
  cv::randu(view, 0, 256);
  const cv::Mat K = (cv::Mat_<double>(3, 3) << 10, 0, 20, 0, 10, 20, 0, 0, 1);
  cv::Mat R;
  cv::Mat t;
  CoutCapture out;
  EXPECT_EQ(job.solvePair(5, 0, view, view, K, K, R, t), ringcalib::kTooFewMatches);
  const std::string prefix =
      std::string(ringcalib::gbk::kPairIdPrefix) + "5 0" + ringcalib::gbk::kTooFewMatchesText;
  const std::string text = out.text();
  ASSERT_EQ(text.substr(0, prefix.size()), prefix) << text;
  EXPECT_TRUE(std::regex_match(text.substr(prefix.size()), std::regex("[0-9]{1,2}<100\n"))) << text;
  EXPECT_TRUE(R.empty());
}

TEST(SolvePair, ImageLibraryErrorNamesThePair) {
  ExtrinsicCalibration job;
  // The flow takes one channel only; a colour view makes the library raise its error.
  const cv::Mat view(200, 200, CV_8UC3, cv::Scalar(10, 20, 30));
  const cv::Mat K = (cv::Mat_<double>(3, 3) << 100, 0, 100, 0, 100, 100, 0, 0, 1);
  cv::Mat R;
  cv::Mat t;
  CoutCapture out;
  EXPECT_EQ(job.solvePair(2, 3, view, view, K, K, R, t), ringcalib::kComputationFailed);
  EXPECT_TRUE(std::regex_match(
      out.text(),
      std::regex("extrinsic calibration of pair 2-3 failed: image library error: [^\n]+\n")))
      << out.text();
  EXPECT_TRUE(R.empty());
}

}  // namespace
