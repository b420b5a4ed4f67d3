// The ring closure and the indicator of the pair that breaks the ring, on synthetic rings.
#include <random>

#include <gtest/gtest.h>

#include "report/assessment.h"
#include "report/ring_closure.h"
#include "tests/report/synthetic_ring.h"

namespace {

using ringcalib::report::computeRingClosure;
using ringcalib::report::rotationAngleDeg;
using ringcalib::test::exactRing;
using ringcalib::test::kDeg;
using ringcalib::test::matrixOfTriple;
using ringcalib::test::randomRotation;

TEST(RotationAngle, MatchesTheAngleOfAnAxisRotationFromTinyToNearlyHalfATurn) {
  std::mt19937 random(7);
  for (double angle : {1e-7, 0.01, 1.0, 60.0, 90.0, 179.0}) {
    const cv::Matx33d R = randomRotation(random, angle);
    EXPECT_NEAR(rotationAngleDeg(R), angle, 1e-9 * std::max(1.0, angle)) << angle;
  }
  EXPECT_EQ(rotationAngleDeg(cv::Matx33d::eye()), 0.0);
}

TEST(RingClosure, AnExactRingClosesWhateverTheMountingSpread) {
  for (unsigned seed = 1; seed <= 5; ++seed) {
    for (double mounting : {0.05, 2.0}) {
      std::mt19937 random(seed);
      const auto ring = computeRingClosure(exactRing(random, mounting));
      EXPECT_LT(ring.closureDeg, 1e-9) << "seed " << seed;
      // Nothing to explain.
      for (double share : ring.explained) EXPECT_EQ(share, 0.0);
    }
  }
}

TEST(RingClosure, ARingOfIdenticalCamerasHasIdenticalPairRotations) {
  // Without mounting differences every pair rotation is the 60 degree yaw of the tool's
  // convention.
  std::mt19937 random(3);
  const auto pairs = exactRing(random, 0.0);
  for (const cv::Matx33d& R : pairs) {
    EXPECT_LT(cv::norm(R - matrixOfTriple(0.0, 60.0 * kDeg, 0.0)), 1e-12);
  }
}

TEST(RingClosure, OnePerturbedPairBreaksTheRingAndIsNamed) {
  // An error Q in pair k turns the product into A Q A^T: the closure is Q's angle, and the
  // indicator must name k whatever the seed and the pair, for errors well above the
  // differences that the cameras' mounting gives the pair rotations (0.5 degrees per
  // camera here; with 1 degree the smallest error of 3 degrees is still named in most
  // cases, but no longer in every one).
  for (unsigned seed = 1; seed <= 5; ++seed) {
    for (int k = 0; k < 6; ++k) {
      for (double mounting : {0.05, 0.5}) {
        for (double error : {3.0, 5.0}) {
          std::mt19937 random(seed * 100 + k);
          auto pairs = exactRing(random, mounting);
          // Small estimation noise on every pair, then the one large error.
          for (cv::Matx33d& R : pairs) R = randomRotation(random, 0.01) * R;
          pairs[k] = randomRotation(random, error) * pairs[k];
          const auto ring = computeRingClosure(pairs);
          const std::string where = "seed " + std::to_string(seed) + " pair " +
                                    std::to_string(k) + " mounting " + std::to_string(mounting) +
                                    " error " + std::to_string(error);
          EXPECT_NEAR(ring.closureDeg, error, 0.07) << where;
          EXPECT_EQ(ring.suspect, k) << where;
          // The broken pair explains most of the closure, every other pair little of it.
          for (int j = 0; j < 6; ++j) {
            if (j == k) {
              EXPECT_GT(ring.explained[j], 0.6) << where;
            } else {
              EXPECT_LT(ring.explained[j], 0.5) << where << " at " << j;
            }
          }
        }
      }
    }
  }
}

TEST(RingClosure, TheAssessmentSaysWhichPairBreaksTheRing) {
  std::mt19937 random(11);
  auto pairs = exactRing(random, 0.05);
  pairs[4] = randomRotation(random, 2.0) * pairs[4];
  ringcalib::report::CalibrationReport report;
  for (int k = 0; k < 6; ++k) {
    auto& pair = report.pair(k);
    pair.solved = true;
    pair.R = pairs[k];
    pair.correspondences = 1000;
    pair.consistentWithF = 990;
    pair.medianError = 0.2;
  }
  const auto assessment = ringcalib::report::assess(report);
  ASSERT_TRUE(assessment.ring.has_value());
  EXPECT_EQ(assessment.ringJudgement.verdict, ringcalib::report::Verdict::kPoor);
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(assessment.pairs[k].verdict,
              k == 4 ? ringcalib::report::Verdict::kPoor : ringcalib::report::Verdict::kGood)
        << k;
  }
  EXPECT_EQ(assessment.pairs[4].reasons, std::vector<std::string>{"breaks the ring"});
  EXPECT_EQ(assessment.ringJudgement.reasons.back(), "pair 4 breaks the ring");

  // A missing pair leaves no ring to close.
  report.pairs.erase(report.pairs.begin() + 2);
  EXPECT_FALSE(ringcalib::report::assess(report).ring.has_value());
}

}  // namespace
