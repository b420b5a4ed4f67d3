#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "pose/cpose.h"
#include "pose/normal_equations.h"
#include "pose/reprojection_terms.h"
#include "tools/synthetic_two_view.h"

namespace {

// Correspondences with exactly chosen errors: every point is X = (0.25, -0.125, 1), which
// the identity pose with t = 0 projects exactly onto pixel (1152, 960); the observed pixel
// is moved right by the wanted error, so r = (-error, 0) without rounding.
struct ExactErrors {
  cv::Mat K = (cv::Mat_<double>(3, 3) << 512, 0, 1024, 0, 512, 1024, 0, 0, 1);
  cv::Mat R = cv::Mat::eye(3, 3, CV_64F);
  cv::Mat t = cv::Mat::zeros(3, 1, CV_64F);
  std::vector<cv::Point2f> pts1, pts2;
  std::vector<cv::Point3f> points3D;
  cv::Mat J, r;

  explicit ExactErrors(const std::vector<float>& errors) {
    for (float error : errors) {
      points3D.emplace_back(0.25f, -0.125f, 1.0f);
      pts1.emplace_back(0.0f, 0.0f);
      pts2.emplace_back(1152.0f + error, 960.0f);
    }
  }

  double run() { return CPose().jacobianAndResidual(pts1, pts2, points3D, K, R, t, J, r); }
  double residual(int point) const { return r.at<double>(2 * point); }
  bool rowsAreZero(int point) const {
    return cv::countNonZero(J.rowRange(2 * point, 2 * point + 2)) == 0 &&
           cv::countNonZero(r.rowRange(2 * point, 2 * point + 2)) == 0;
  }
};

std::vector<float> oneToN(int n) {
  std::vector<float> errors;
  for (int k = 1; k <= n; ++k) errors.push_back(static_cast<float>(k));
  return errors;
}

TEST(JacobianAndResidual, DifferentiatesTheAnglesAndThenT) {
  // Unweighted point (error 0.5, below p80): J against the analytic derivatives of
  // pu = 512 X'x / X'z + 1024 with X' = Rx(-x) Ry(-y) Rz(-z) (X - t) at the identity.
  ExactErrors fixture({0.5f, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  fixture.run();
  // pu and pv are linear in t1 and t2 but not in t3 = -t2 of X - t; a forward difference with
  // step 1e-4 gives 128 / (1 - 1e-4) there, a central one would give 128 / (1 - 1e-8).
  const double forward = 1.0 / (1.0 - 1e-4);
  const double expected[2][6] = {{-16, -544, -64, -512, 0, 128 * forward},
                                 {520, 16, -128, 0, -512, -64 * forward}};
  for (int row = 0; row < 2; ++row) {
    for (int k = 0; k < 6; ++k) {
      // Angle steps of 1.7e-8 rad leave about 1e-5 of rounding in the quotient.
      const double tolerance = k < 3 ? 1e-3 : 1e-7;
      EXPECT_NEAR(fixture.J.at<double>(row, k), expected[row][k], tolerance) << row << "," << k;
    }
  }
  EXPECT_EQ(fixture.J.rows, 20);
  EXPECT_EQ(fixture.r.rows, 20);
}

TEST(JacobianAndResidual, WeightsByTheTwentyPointPercentiles) {
  // p80 = sample[16] = 17, p95 = sample[19] = 20, cap = min(68, 20) = 20.
  ExactErrors fixture(oneToN(20));
  EXPECT_EQ(fixture.run(), 11.0);  // sample[10], the upper middle value
  EXPECT_EQ(fixture.residual(16), -17.0);          // e = p80: unchanged
  EXPECT_EQ(fixture.residual(17), -18.0 / 2.0);         // e = p80 + 1: weight 0.5
  EXPECT_DOUBLE_EQ(fixture.residual(18), -19.0 / 3.0);  // weight 1 / (2 + 1)
  EXPECT_TRUE(fixture.rowsAreZero(19));            // e = p95 = cap: dropped

  // All points share X, so their unweighted rows agree up to rounding; point 0 keeps its.
  for (int k = 0; k < 6; ++k) {
    const double unweighted = fixture.J.at<double>(0, k);
    const double tolerance = 1e-6 * std::abs(unweighted);
    EXPECT_NEAR(fixture.J.at<double>(2 * 16, k), unweighted, tolerance);
    EXPECT_NEAR(fixture.J.at<double>(2 * 17, k), unweighted / 2, tolerance);
    EXPECT_NEAR(fixture.J.at<double>(2 * 18, k), unweighted / 3, tolerance);
  }
}

TEST(JacobianAndResidual, CapsAtFourTimesP80) {
  // Sorted errors: seventeen 1s, 3, 5, 50. p80 = 1, p95 = 50, cap = min(4, 50) = 4.
  std::vector<float> errors(17, 1.0f);
  errors.insert(errors.end(), {3.0f, 5.0f, 50.0f});
  ExactErrors fixture(errors);
  EXPECT_EQ(fixture.run(), 1.0);
  EXPECT_EQ(fixture.residual(0), -1.0);
  EXPECT_DOUBLE_EQ(fixture.residual(17), -3.0 / 3.0);  // weight 1 / ((3 - 1) + 1)
  EXPECT_TRUE(fixture.rowsAreZero(18));
  EXPECT_TRUE(fixture.rowsAreZero(19));
}

TEST(JacobianAndResidual, DropsEverythingWhenAllErrorsAreEqual) {
  for (float error : {2.0f, 0.0f}) {
    ExactErrors fixture(std::vector<float>(30, error));
    EXPECT_EQ(fixture.run(), error);
    EXPECT_EQ(cv::countNonZero(fixture.J), 0) << "error " << error;
    EXPECT_EQ(cv::countNonZero(fixture.r), 0) << "error " << error;
  }
}

TEST(JacobianAndResidual, SamplesEvenlyFromPointZeroAboveAThousandPoints) {
  // 2000 points: the sample positions 0.1, 2.1, 4.1, ... pick exactly the even points,
  // whose errors are 1 ... 1000; the odd points carry 5000 and are never sampled. So the
  // median is 501, p80 = 801, p95 = 951 and cap = min(3204, 951) = 951.
  std::vector<float> errors;
  for (int k = 0; k < 1000; ++k) errors.insert(errors.end(), {static_cast<float>(k + 1), 5000.0f});
  ExactErrors fixture(errors);
  EXPECT_EQ(fixture.run(), 501.0);
  EXPECT_EQ(fixture.residual(2 * 800), -801.0);
  EXPECT_EQ(fixture.residual(2 * 801), -802.0 / 2.0);
  EXPECT_DOUBLE_EQ(fixture.residual(2 * 949), -950.0 / 150.0);
  EXPECT_TRUE(fixture.rowsAreZero(2 * 950));
  EXPECT_TRUE(fixture.rowsAreZero(1));
}

TEST(ErrorSamplePositions, PicksOneThousandIncreasingPositionsFromZero) {
  EXPECT_EQ(ringcalib::errorSamplePositions(999).size(), 999u);
  for (size_t n : {size_t{1000}, size_t{1001}, size_t{1999}, size_t{155520}, size_t{1048583}}) {
    const std::vector<size_t> positions = ringcalib::errorSamplePositions(n);
    ASSERT_EQ(positions.size(), 1000u) << n;
    EXPECT_EQ(positions.front(), 0u);
    EXPECT_LT(positions.back(), n);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(std::adjacent_find(positions.begin(), positions.end()), positions.end());
  }
  // 155520 / 1000 = 155.52: pick k sits at 0.1 + k * 155.52, e.g. 3577.06 for k = 23 (a
  // start at 0 would give 3576).
  EXPECT_EQ(ringcalib::errorSamplePositions(155520)[23], 3577u);
  EXPECT_EQ(ringcalib::errorSamplePositions(155520)[500], 77760u);
}

TEST(JacobianAndResidual, HandlesAnEmptyList) {
  ExactErrors fixture({});
  EXPECT_EQ(fixture.run(), CPose::kNoPoseError);
  EXPECT_TRUE(fixture.J.empty());
  EXPECT_TRUE(fixture.r.empty());
}

// The fused normal equations against J^T J and J^T r of triangulation + jacobianAndResidual.
TEST(AccumulateNormalEquations, EqualsTheMatrixProductsOnAnyThreadCount) {
  const CPose pose;
  for (uint64_t seed = 1; seed <= 3; ++seed) {
    ringcalib::RingPairOptions options;
    options.correspondences = 9000;  // three chunks, the last one partial
    options.seed = seed;
    const ringcalib::RingPairScene scene = ringcalib::makeRingPairScene(options);
    cv::Mat R;
    double x, y, z;
    pose.rotationToEuler(scene.R, x, y, z);
    pose.eulerToRotation(x + 0.002, y - 0.003, z + 0.001, R);
    const cv::Mat t = (cv::Mat_<double>(3, 1) << 0.85, 0.02, -0.52);
    const std::vector<ringcalib::RayPair> rays =
        ringcalib::correspondenceRays(scene.pts1, scene.pts2, scene.K);

    std::vector<cv::Point3f> points3D;
    pose.triangulation(scene.K, R, t, scene.pts1, scene.pts2, points3D);
    cv::Mat J, r;
    const double median =
        pose.jacobianAndResidual(scene.pts1, scene.pts2, points3D, scene.K, R, t, J, r);
    const cv::Mat JtJ = J.t() * J, Jtr = J.t() * r;
    const ringcalib::NormalEquations fused =
        ringcalib::accumulateNormalEquations(rays, scene.pts2, scene.K, R, t);
    EXPECT_EQ(fused.medianError, median) << "seed " << seed;
    EXPECT_LT(cv::norm(cv::Mat(fused.JtJ), JtJ, cv::NORM_INF), 1e-12 * cv::norm(JtJ, cv::NORM_INF))
        << "seed " << seed;
    EXPECT_LT(cv::norm(cv::Mat(fused.Jtr), Jtr, cv::NORM_INF), 1e-12 * cv::norm(Jtr, cv::NORM_INF))
        << "seed " << seed;

    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    const ringcalib::NormalEquations serial =
        ringcalib::accumulateNormalEquations(rays, scene.pts2, scene.K, R, t);
    cv::setNumThreads(threads);
    EXPECT_EQ(cv::norm(serial.JtJ, fused.JtJ, cv::NORM_INF), 0.0) << "seed " << seed;
    EXPECT_EQ(cv::norm(serial.Jtr, fused.Jtr, cv::NORM_INF), 0.0) << "seed " << seed;
  }
}

}  // namespace
