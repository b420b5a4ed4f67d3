#include <cmath>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "pose/cpose.h"
#include "pose/pose_refinement.h"
#include "tools/synthetic_two_view.h"

namespace {

using ringcalib::NormalEquations;

ringcalib::RingPairScene ringPair(size_t correspondences, uint64_t seed, double noise,
                                  double outliers) {
  ringcalib::RingPairOptions options;
  options.correspondences = correspondences;
  options.seed = seed;
  options.noisePixels = noise;
  options.outlierFraction = outliers;
  return ringcalib::makeRingPairScene(options);
}

TEST(Triangulation, PlacesNoiseFreePointsOnTheFirstRay) {
  const CPose pose;
  for (uint64_t seed = 1; seed <= 3; ++seed) {
    const ringcalib::RingPairScene scene = ringPair(500, seed, 0.0, 0.0);
    std::vector<cv::Point3f> points3D(7);  // stale content is cleared
    pose.triangulation(scene.K, scene.R, scene.t, scene.pts1, scene.pts2, points3D);
    ASSERT_EQ(points3D.size(), scene.pts1.size());
    const cv::Matx33d K = scene.K;
    for (size_t i = 0; i < points3D.size(); ++i) {
      const cv::Vec3d X(points3D[i].x, points3D[i].y, points3D[i].z);
      const double distance = cv::norm(X);
      EXPECT_GT(distance, 1.5 - 0.01);
      EXPECT_LT(distance, 10.0 + 0.05);
      // On the first ray, and (with the metric t) reprojecting onto the second pixel.
      const cv::Vec3d pixel1 = K * (X / X[2]);
      EXPECT_NEAR(pixel1[0], scene.pts1[i].x, 1e-3);
      EXPECT_NEAR(pixel1[1], scene.pts1[i].y, 1e-3);
      const cv::Vec3d X2 = cv::Matx33d(scene.R) * (X - cv::Vec3d(scene.t));
      const cv::Vec3d pixel2 = K * (X2 / X2[2]);
      EXPECT_NEAR(pixel2[0], scene.pts2[i].x, 0.02) << "seed " << seed;
      EXPECT_NEAR(pixel2[1], scene.pts2[i].y, 0.02) << "seed " << seed;
    }
  }
}

TEST(Triangulation, ReplacesANearZeroDenominatorByPlusTenToTheMinusTen) {
  // Nearly parallel rays (R = I, pixels 1e-3 apart): D ~ 1e-12 is replaced by 1e-10, so the
  // depth is the numerator / 1e-10 instead of the far larger numerator / D.
  const cv::Mat K = (cv::Mat_<double>(3, 3) << 500, 0, 500, 0, 500, 500, 0, 0, 1);
  const cv::Mat R = cv::Mat::eye(3, 3, CV_64F);
  const cv::Mat t = (cv::Mat_<double>(3, 1) << 1, 0, 0);
  const std::vector<cv::Point2f> pts1 = {{600.0f, 500.0f}}, pts2 = {{600.001f, 500.0f}};
  std::vector<cv::Point3f> points3D;
  CPose().triangulation(K, R, t, pts1, pts2, points3D);

  const cv::Vec3d p1((pts1[0].x - 500.0) / 500, 0, 1), p2((pts2[0].x - 500.0) / 500, 0, 1);
  const double D = p2.dot(p2) * p1.dot(p1) - std::pow(p2.dot(p1), 2);
  ASSERT_LT(std::abs(D), 1e-10);
  const double numerator = p1[0] * p2.dot(p2) - p2.dot(p1) * p2[0];  // c = t = (1, 0, 0)
  ASSERT_NE(numerator, 0.0);
  EXPECT_FLOAT_EQ(points3D[0].z, static_cast<float>(numerator / 1e-10));
  EXPECT_TRUE(std::isfinite(points3D[0].x));

  // Identical rays give D = 0 exactly, and a point at the first camera, not a NaN.
  CPose().triangulation(K, R, t, pts1, pts1, points3D);
  EXPECT_EQ(points3D[0], cv::Point3f(0, 0, 0));
}

TEST(BoundedStep, ScalesTheWholeStepByBothBounds) {
  using ringcalib::boundedStep;
  const cv::Vec6d raw(0.1, 0, 0, 0.05, 0, 0);
  const double first = 0.017444444444444446 / 0.1;
  // n = 99: capR = 0.02027 leaves the first bound's step alone.
  EXPECT_LT(cv::norm(boundedStep(raw, 99) - raw * first), 1e-17);
  // n = 0: capR = 0.003 scales the step again by 0.003 / 0.017444...
  const cv::Vec6d last = boundedStep(raw, 0);
  EXPECT_NEAR(last[0], 0.003, 1e-17);
  EXPECT_NEAR(last[3], 0.05 * first * 0.003 / 0.017444444444444446, 1e-17);
  // The second angle bound binds from n = 82 downwards.
  EXPECT_EQ(boundedStep(raw, 83)[0], (raw * first)[0]);
  EXPECT_NEAR(boundedStep(raw, 82)[0], 0.017444444444444446 * 82 / 100 + 0.003, 1e-17);

  // Translation: 0.5 first, then 0.1 per component.
  EXPECT_NEAR(boundedStep(cv::Vec6d(0, 0, 0, 2, -1, 0), 99)[3], 0.1, 1e-17);
  EXPECT_NEAR(boundedStep(cv::Vec6d(0, 0, 0, 2, -1, 0), 99)[4], -0.05, 1e-17);
  // A zero part leaves the other bound (or 1) in charge.
  EXPECT_EQ(boundedStep(cv::Vec6d::all(0), 50), cv::Vec6d::all(0));
  EXPECT_EQ(boundedStep(cv::Vec6d(0.001, 0, 0, 0, 0, 0), 50), cv::Vec6d(0.001, 0, 0, 0, 0, 0));
}

// A refinement driven by chosen errors and a constant step of +0.001 rad in x.
struct ScriptedRefinement {
  explicit ScriptedRefinement(std::vector<double> script) : errors(std::move(script)) {}

  std::vector<double> errors;
  std::vector<cv::Mat> seenR, seenT;

  NormalEquations operator()(const cv::Mat& R, const cv::Mat& t) {
    seenR.push_back(R.clone());
    seenT.push_back(t.clone());
    // H = 0.001 I, so delta = -1000 * J^T r.
    return {cv::Matx66d::zeros(), cv::Vec6d(-1e-6, 0, 0, 0, 0, 0), errors[seenR.size() - 1]};
  }
};

class RefinePose : public ::testing::Test {
 protected:
  cv::Mat R = cv::Mat::eye(3, 3, CV_64F);
  cv::Mat t = (cv::Mat_<double>(3, 1) << 0.8, 0.0, -0.4);

  double run(ScriptedRefinement& script) {
    return ringcalib::refinePose(R, t, static_cast<int>(script.errors.size()), std::ref(script));
  }
};

TEST_F(RefinePose, KeepsThePoseAfterTheUpdateOfTheBestIteration) {
  ScriptedRefinement script({5, 3, 4, 3, 6});
  EXPECT_EQ(run(script), 3.0);
  ASSERT_EQ(script.seenR.size(), 5u);  // exactly maxIterations, no early exit
  // Iteration 2 had the best (pre-update) error; the pose kept is the one after its update,
  // which iteration 3 saw. The equal error of iteration 4 does not replace it.
  EXPECT_EQ(cv::norm(R, script.seenR[2], cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::norm(t, script.seenT[2], cv::NORM_INF), 0.0);
  double x, y, z;
  CPose().rotationToEuler(R, x, y, z);
  EXPECT_NEAR(x, 0.002, 1e-15);
  // The first triangulation already sees the normalised start direction.
  EXPECT_NEAR(script.seenT[0].at<double>(0), 0.8 / std::sqrt(0.8), 1e-15);
  EXPECT_NEAR(script.seenT[0].at<double>(2), -0.4 / std::sqrt(0.8), 1e-15);
  EXPECT_NEAR(cv::norm(t), 1.0, 1e-15);
}

TEST_F(RefinePose, LeavesThePoseUntouchedWithoutAnImprovement) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  ScriptedRefinement script({nan, 1e10, nan});
  const cv::Mat startR = R.clone(), startT = t.clone();
  EXPECT_EQ(run(script), 1e10);
  EXPECT_EQ(cv::norm(R, startR, cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::norm(t, startT, cv::NORM_INF), 0.0);  // not even normalised
}

TEST(OptimizeRt, ReturnsTheNoPoseErrorForNoIterationsOrNoPoints) {
  const ringcalib::RingPairScene scene = ringPair(50, 2, 0.3, 0.0);
  const CPose pose;
  cv::Mat R = cv::Mat::eye(3, 3, CV_64F);
  cv::Mat t = (cv::Mat_<double>(3, 1) << 0.8, 0.0, -0.4);
  const cv::Mat startT = t.clone();
  EXPECT_EQ(pose.optimizeRt(scene.pts1, scene.pts2, scene.K, R, t, 0), 1e10);
  EXPECT_EQ(pose.optimizeRt({}, {}, scene.K, R, t, 100), 1e10);
  EXPECT_EQ(cv::norm(R, cv::Mat::eye(3, 3, CV_64F), cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::norm(t, startT, cv::NORM_INF), 0.0);

  const std::vector<cv::Point2f> shorter(scene.pts2.begin(), scene.pts2.end() - 1);
  EXPECT_THROW(pose.optimizeRt(scene.pts1, shorter, scene.K, R, t, 1), cv::Exception);
}

TEST(OptimizeRt, ConvergesFromAPerturbedStart) {
  const CPose pose;
  for (uint64_t seed = 1; seed <= 3; ++seed) {
    const ringcalib::RingPairScene scene = ringPair(3000, seed, 0.3, 0.15);
    cv::Mat R;
    double x, y, z;
    pose.rotationToEuler(scene.R, x, y, z);
    pose.eulerToRotation(x + 0.003, y - 0.004, z + 0.002, R);  // about 0.3 degrees off
    cv::Mat t = (cv::Mat_<double>(3, 1) << 0.8, 0.0, -0.4);

    const double error = pose.optimizeRt(scene.pts1, scene.pts2, scene.K, R, t, 40);
    // 0.3 px noise: the median error of the inliers is about 0.3 * sqrt(2 ln 2) ~ 0.35 px.
    EXPECT_LT(error, 0.5) << "seed " << seed;
    EXPECT_LT(ringcalib::rotationDifferenceDegrees(R, scene.R), 0.05) << "seed " << seed;
    EXPECT_LT(ringcalib::directionDifferenceDegrees(t, scene.t), 1.0) << "seed " << seed;
    EXPECT_NEAR(cv::norm(t), 1.0, 1e-12) << "seed " << seed;
  }
}

}  // namespace
