#include <cmath>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "pose/cpose.h"

namespace {

const cv::Mat kK = (cv::Mat_<double>(3, 3) << 500, 0, 500, 0, 500, 500, 0, 0, 1);

cv::Mat skew(const cv::Vec3d& t) {
  return (cv::Mat_<double>(3, 3) << 0, -t[2], t[1], t[2], 0, -t[0], -t[1], t[0], 0);
}

cv::Point2f pixelOf(const cv::Vec3d& X) {
  const cv::Vec3d p = cv::Matx33d(kK) * (X / X[2]);
  return cv::Point2f(static_cast<float>(p[0]), static_cast<float>(p[1]));
}

// Pixels of scene points given in first-camera coordinates, X2 = R (X1 - t).
struct Views {
  std::vector<cv::Point2f> pts1, pts2;
  void add(const cv::Vec3d& X1, const cv::Mat& R, const cv::Vec3d& t) {
    pts1.push_back(pixelOf(X1));
    pts2.push_back(pixelOf(cv::Matx33d(R) * (X1 - t)));
  }
};

// The candidate table of the decomposition, in its order, rebuilt from the same SVD.
std::vector<std::pair<cv::Mat, cv::Mat>> candidatesOf(const cv::Mat& E) {
  cv::Mat w, U, Vt;
  cv::SVD::compute(E, w, U, Vt, 0);
  const cv::Mat B = (cv::Mat_<double>(3, 3) << 0, 1, 0, -1, 0, 0, 0, 0, 1);
  const cv::Mat A = (cv::Mat_<double>(3, 3) << 0, -1, 0, 1, 0, 0, 0, 0, 0);
  const cv::Mat R1 = U * B * Vt, R2 = U * B.t() * Vt, T0 = Vt.t() * A * Vt;
  return {{R1, T0}, {R1, -T0}, {-R1, T0}, {-R1, -T0},
          {R2, T0}, {R2, -T0}, {-R2, T0}, {-R2, -T0}};
}

struct Decomposition {
  cv::Mat R = cv::Mat::eye(3, 3, CV_64F);
  cv::Mat tSkew = cv::Mat::zeros(3, 3, CV_64F);
};

Decomposition solve(const cv::Mat& E, const Views& views) {
  Decomposition result;
  CPose().solveRT(E, kK, views.pts1, views.pts2, result.R, result.tSkew);
  return result;
}

TEST(SolveRT, RecoversASyntheticPoseFromExactlyOneCandidate) {
  const CPose pose;
  for (uint64_t seed = 1; seed <= 4; ++seed) {
    cv::RNG rng(seed);
    cv::Mat R;
    pose.eulerToRotation(rng.uniform(-0.2, 0.2), rng.uniform(-0.2, 0.2), rng.uniform(-0.2, 0.2),
                         R);
    const cv::Vec3d t(rng.uniform(-1.0, 1.0), rng.uniform(-0.3, 0.3), rng.uniform(-0.3, 0.3));
    Views views;
    while (views.pts1.size() < 50) {
      const cv::Vec3d X1(rng.uniform(-3.0, 3.0), rng.uniform(-3.0, 3.0), rng.uniform(2.0, 8.0));
      if ((cv::Matx33d(R) * (X1 - t))[2] > 0.5) views.add(X1, R, t);
    }
    const cv::Mat E = R * skew(t);

    int passing = 0;
    for (const auto& [Rc, Tc] : candidatesOf(E))
      passing += pose.checkRT(Rc, Tc, kK, views.pts1, views.pts2);
    EXPECT_EQ(passing, 1) << "seed " << seed;

    const Decomposition found = solve(E, views);
    EXPECT_LT(cv::norm(found.R, R, cv::NORM_INF), 1e-9) << "seed " << seed;
    EXPECT_LT(cv::norm(found.tSkew, skew(t / cv::norm(t)), cv::NORM_INF), 1e-9)
        << "seed " << seed;
  }
}

TEST(SolveRT, TakesTheLastPassingCandidate) {
  // For t = (1, 0, 0) the rotations of [t]x are I and the half turn about x. Least-squares
  // depths of these inconsistent pairs are positive for both with the same T, so two
  // candidates pass and the later one in the table must win.
  const cv::Mat halfTurn = (cv::Mat_<double>(3, 3) << 1, 0, 0, 0, -1, 0, 0, 0, -1);
  const cv::Mat T = skew(cv::Vec3d(1, 0, 0));
  Views views;
  views.pts1 = {{875, 136}, {707, 537}, {768, 921}};
  views.pts2 = {{326, 883}, {285, 727}, {16, 162}};
  const CPose pose;
  ASSERT_TRUE(pose.checkRT(cv::Mat::eye(3, 3, CV_64F), T, kK, views.pts1, views.pts2));
  ASSERT_TRUE(pose.checkRT(halfTurn, T, kK, views.pts1, views.pts2));

  const cv::Mat E = T.clone();
  int last = -1, passing = 0;
  const auto candidates = candidatesOf(E);
  for (int k = 0; k < 8; ++k) {
    if (!pose.checkRT(candidates[k].first, candidates[k].second, kK, views.pts1, views.pts2))
      continue;
    last = k;
    ++passing;
  }
  ASSERT_EQ(passing, 2);
  const Decomposition found = solve(E, views);
  EXPECT_EQ(cv::norm(found.R, candidates[last].first, cv::NORM_INF), 0.0);
  EXPECT_LT(cv::norm(found.tSkew, candidates[last].second, cv::NORM_INF), 1e-15);
}

TEST(CheckRT, NeedsStrictlyMoreThanHalfInFront) {
  const CPose pose;
  const cv::Mat R = cv::Mat::eye(3, 3, CV_64F);
  const cv::Vec3d t(0.5, 0, 0);
  Views inFront, behind;
  inFront.add(cv::Vec3d(0.2, 0.1, 3), R, t);
  inFront.add(cv::Vec3d(-0.4, 0.3, 5), R, t);
  inFront.add(cv::Vec3d(0.1, -0.5, 4), R, t);
  behind.add(cv::Vec3d(0.6, 0.2, -3), R, t);
  behind.add(cv::Vec3d(-0.3, 0.4, -6), R, t);

  Views half = inFront;
  half.pts1.pop_back();
  half.pts2.pop_back();
  half.pts1.insert(half.pts1.end(), behind.pts1.begin(), behind.pts1.end());
  half.pts2.insert(half.pts2.end(), behind.pts2.begin(), behind.pts2.end());
  EXPECT_FALSE(pose.checkRT(R, skew(t), kK, half.pts1, half.pts2));  // 2 of 4

  Views majority = half;
  majority.pts1.push_back(inFront.pts1.back());
  majority.pts2.push_back(inFront.pts2.back());
  EXPECT_TRUE(pose.checkRT(R, skew(t), kK, majority.pts1, majority.pts2));  // 3 of 5
}

TEST(CheckRT, CountsParallelRaysAgainstTheCandidate) {
  const CPose pose;
  const cv::Mat R = cv::Mat::eye(3, 3, CV_64F);
  const cv::Vec3d t(0.5, 0, 0);
  Views views;
  views.add(cv::Vec3d(0.2, 0.1, 3), R, t);
  views.add(cv::Vec3d(-0.4, 0.3, 5), R, t);
  // With R = I, identical pixels have identical rays: D = 0.
  views.pts1.push_back({400, 300});
  views.pts2.push_back({400, 300});
  views.pts1.push_back({600, 700});
  views.pts2.push_back({600, 700});
  EXPECT_FALSE(pose.checkRT(R, skew(t), kK, views.pts1, views.pts2));  // 2 of 4

  views.add(cv::Vec3d(0.1, -0.5, 4), R, t);
  EXPECT_TRUE(pose.checkRT(R, skew(t), kK, views.pts1, views.pts2));  // 3 of 5
}

TEST(CheckRT, RejectsDeterminantsOutsideTheWindow) {
  const CPose pose;
  const cv::Mat R = cv::Mat::eye(3, 3, CV_64F);
  const cv::Vec3d t(0.5, 0, 0);
  Views views;
  views.add(cv::Vec3d(0.2, 0.1, 3), R, t);
  views.add(cv::Vec3d(-0.4, 0.3, 5), R, t);
  // Scaling R scales d2 only, so the depth signs are unchanged; det = s^3.
  EXPECT_TRUE(pose.checkRT(R * 1.03, skew(t), kK, views.pts1, views.pts2));   // 1.093
  EXPECT_FALSE(pose.checkRT(R * 1.04, skew(t), kK, views.pts1, views.pts2));  // 1.125
  EXPECT_TRUE(pose.checkRT(R * 0.966, skew(t), kK, views.pts1, views.pts2));  // 0.901
  EXPECT_FALSE(pose.checkRT(R * 0.96, skew(t), kK, views.pts1, views.pts2));  // 0.885
  EXPECT_FALSE(pose.checkRT(-R, -skew(t), kK, views.pts1, views.pts2));
}

TEST(CheckRT, RefusesASecondListShorterThanTheFirst) {
  const std::vector<cv::Point2f> pts1 = {{1, 2}, {3, 4}}, pts2 = {{1, 2}};
  EXPECT_THROW(CPose().checkRT(cv::Mat::eye(3, 3, CV_64F), skew(cv::Vec3d(1, 0, 0)), kK, pts1,
                               pts2),
               cv::Exception);
}

TEST(SolveRT, KeepsTheEntryValuesWhenNothingPasses) {
  const Views none;
  const Decomposition found = solve(skew(cv::Vec3d(1, 0, 0)), none);
  EXPECT_EQ(cv::norm(found.R, cv::Mat::eye(3, 3, CV_64F), cv::NORM_INF), 0.0);
  // The final scaling still runs: a zero matrix becomes 0/0.
  for (int k = 0; k < 9; ++k) EXPECT_TRUE(std::isnan(found.tSkew.at<double>(k / 3, k % 3)));
}

}  // namespace
