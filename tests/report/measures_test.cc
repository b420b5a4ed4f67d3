// The measures the jobs hand to the report: residuals of a fisheye solve from its own view
// poses, and the consistency of correspondences with a fundamental matrix.
#include <random>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>

#include "report/epipolar_consistency.h"
#include "report/solve_residuals.h"
#include "tests/report/synthetic_ring.h"

namespace {

using ringcalib::test::randomRotation;

const cv::Matx33d kK(800, 0, 640, 0, 805, 480, 0, 0, 1);
const cv::Vec4d kD(0.05, -0.01, 0.003, -0.0005);

std::vector<cv::Point3f> board() {
  std::vector<cv::Point3f> points;
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 9; ++x) points.emplace_back(static_cast<float>(x), static_cast<float>(y), 0.0f);
  }
  return points;
}

struct Views {
  std::vector<std::vector<cv::Point3f>> objects;
  std::vector<std::vector<cv::Point2f>> images;
  std::vector<cv::Vec3d> rotations;
  std::vector<cv::Vec3d> translations;
};

// Boards seen from varied poses, projected exactly through (kK, kD).
Views boardViews(std::mt19937& random, int count) {
  Views views;
  std::uniform_real_distribution<double> tilt(-35.0, 35.0);
  std::uniform_real_distribution<double> shift(-3.0, 3.0);
  for (int v = 0; v < count; ++v) {
    cv::Vec3d rvec(tilt(random) * CV_PI / 180, tilt(random) * CV_PI / 180, tilt(random) * CV_PI / 180);
    cv::Vec3d tvec(-4.0 + shift(random), -5.5 + shift(random), 14.0 + shift(random));
    std::vector<cv::Point2f> projected;
    cv::fisheye::projectPoints(board(), projected, rvec, tvec, kK, kD);
    views.objects.push_back(board());
    views.images.push_back(projected);
    views.rotations.push_back(rvec);
    views.translations.push_back(tvec);
  }
  return views;
}

TEST(FisheyeResiduals, KnownOffsetsComeBackPerCornerAndPerView) {
  for (unsigned seed = 1; seed <= 3; ++seed) {
    std::mt19937 random(seed);
    Views views = boardViews(random, 4);
    std::uniform_real_distribution<double> direction(0.0, 2 * CV_PI);
    // View v's corners move by 0.25 (v + 1) px in random directions.
    for (std::size_t v = 0; v < views.images.size(); ++v) {
      for (cv::Point2f& p : views.images[v]) {
        const double a = direction(random);
        p += cv::Point2f(static_cast<float>(0.25 * (v + 1) * std::cos(a)),
                         static_cast<float>(0.25 * (v + 1) * std::sin(a)));
      }
    }
    const auto residuals = ringcalib::report::fisheyeResiduals(
        views.objects, views.images, views.rotations, views.translations, kK, kD);
    ASSERT_EQ(residuals.viewRms.size(), 4u);
    ASSERT_EQ(residuals.corners.size(), 4u * 108u);
    for (std::size_t v = 0; v < 4; ++v) {
      EXPECT_NEAR(residuals.viewRms[v], 0.25 * (v + 1), 1e-4) << "seed " << seed << " view " << v;
      EXPECT_NEAR(residuals.corners[v * 108 + 17].residual, 0.25 * (v + 1), 1e-4);
      EXPECT_EQ(residuals.corners[v * 108 + 17].position, views.images[v][17]);
    }
  }
}

TEST(FisheyeResiduals, TheirRmsOverAllCornersIsTheSolvesOwn) {
  // Measured with the solve's own poses, the residuals must reproduce the RMS error the
  // solve returns; a pose paired with the wrong view would not.
  for (unsigned seed = 1; seed <= 3; ++seed) {
    std::mt19937 random(seed);
    Views views = boardViews(random, 12);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    for (auto& view : views.images) {
      for (cv::Point2f& p : view) p += cv::Point2f(noise(random), noise(random));
    }
    // Started from the true camera, as the library's own start of the views' poses needs a
    // fair focal length.
    cv::Matx33d K = kK;
    cv::Vec4d D = cv::Vec4d::all(0.0);
    std::vector<cv::Vec3d> rvecs, tvecs;
    const double rms = cv::fisheye::calibrate(
        views.objects, views.images, cv::Size(1280, 960), K, D, rvecs, tvecs,
        cv::fisheye::CALIB_USE_INTRINSIC_GUESS | cv::fisheye::CALIB_RECOMPUTE_EXTRINSIC |
            cv::fisheye::CALIB_FIX_SKEW,
        cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, DBL_EPSILON));
    const auto residuals =
        ringcalib::report::fisheyeResiduals(views.objects, views.images, rvecs, tvecs, K, D);
    double squares = 0.0;
    for (const auto& corner : residuals.corners) squares += corner.residual * corner.residual;
    EXPECT_NEAR(std::sqrt(squares / residuals.corners.size()), rms, 1e-3 * rms) << "seed " << seed;
  }
}

TEST(FisheyeResiduals, AViewThatCannotBeMeasuredIsNotANumber) {
  std::mt19937 random(5);
  Views views = boardViews(random, 2);
  views.images[1].clear();
  const auto residuals = ringcalib::report::fisheyeResiduals(
      views.objects, views.images, views.rotations, views.translations, kK, kD);
  ASSERT_EQ(residuals.viewRms.size(), 2u);
  EXPECT_NEAR(residuals.viewRms[0], 0.0, 1e-4);
  EXPECT_TRUE(std::isnan(residuals.viewRms[1]));
  EXPECT_EQ(residuals.corners.size(), 108u);
}

// F of two views of one camera K with X2 = R (X1 - t): E = [R t]x R... written directly as
// F = K^-T [t']x R K^-1 with t' = -R t, the second camera's translation.
cv::Matx33d fundamental(const cv::Matx33d& K, const cv::Matx33d& R, const cv::Vec3d& t) {
  const cv::Vec3d b = -(R * t);
  const cv::Matx33d skew(0, -b[2], b[1], b[2], 0, -b[0], -b[1], b[0], 0);
  return K.inv().t() * skew * R * K.inv();
}

TEST(EpipolarConsistency, CountsOnlyCorrespondencesNearTheirEpipolarLines) {
  for (unsigned seed = 1; seed <= 3; ++seed) {
    std::mt19937 random(seed);
    const cv::Matx33d R = randomRotation(random, 10.0);
    const cv::Vec3d t = cv::normalize(cv::Vec3d(0.8, 0.1, -0.3));
    const cv::Matx33d F = fundamental(kK, R, t);
    std::uniform_real_distribution<double> coordinate(-2.0, 2.0);
    std::vector<cv::Point2f> pts1, pts2;
    for (int i = 0; i < 200; ++i) {
      const cv::Vec3d X(coordinate(random), coordinate(random), 8.0 + coordinate(random));
      const cv::Vec3d x1 = kK * X;
      const cv::Vec3d x2 = kK * (R * (X - t));
      pts1.emplace_back(static_cast<float>(x1[0] / x1[2]), static_cast<float>(x1[1] / x1[2]));
      pts2.emplace_back(static_cast<float>(x2[0] / x2[2]), static_cast<float>(x2[1] / x2[2]));
    }
    // The first 50 second points move 40 px along the normal of their epipolar line.
    for (int i = 0; i < 50; ++i) {
      const cv::Vec3d line = F * cv::Vec3d(pts1[i].x, pts1[i].y, 1.0);
      const cv::Point2f normal(static_cast<float>(line[0]), static_cast<float>(line[1]));
      pts2[i] += normal * static_cast<float>(40.0 / cv::norm(normal));
    }
    for (int i = 0; i < 200; ++i) {
      const double expected = std::sqrt(cv::sampsonDistance(cv::Vec3d(pts1[i].x, pts1[i].y, 1),
                                                            cv::Vec3d(pts2[i].x, pts2[i].y, 1), F));
      ASSERT_NEAR(ringcalib::report::sampsonDistance(F, pts1[i], pts2[i]), expected, 1e-6 * (1 + expected));
    }
    EXPECT_EQ(ringcalib::report::countConsistentWithF(pts1, pts2, cv::Mat(F), 3.0), 150) << seed;
    EXPECT_EQ(ringcalib::report::countConsistentWithF(pts1, pts2, cv::Mat(cv::Matx33f(F)), 3.0), 150);
  }
}

TEST(EpipolarConsistency, NoFundamentalMatrixIsNoCount) {
  const std::vector<cv::Point2f> points(5, cv::Point2f(1, 2));
  EXPECT_EQ(ringcalib::report::countConsistentWithF(points, points, cv::Mat(), 3.0), -1);
  EXPECT_EQ(ringcalib::report::countConsistentWithF(points, points, cv::Mat::eye(9, 3, CV_64F), 3.0), -1);
}

}  // namespace
