// The fisheye model of the generator against cv::fisheye, and the cameras it draws.
#include "tools/fisheye_lens.h"

#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>

#include "tools/board_motion.h"
#include "tools/camera_draw.h"
#include "tools/random_stream.h"
#include "tools/truth_compare.h"

namespace ringcalib::synth {
namespace {

constexpr double kDeg = CV_PI / 180.0;

cv::Vec3d rayAt(double theta, double phi) {
  return {std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta)};
}

TEST(FisheyeLens, ProjectsLikeOpenCv) {
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    for (int camera = 0; camera < 6; ++camera) {
      const CameraTruth truth = drawCamera(seed, camera, 3200, 2400);
      const FisheyeLens lens(truth.K, truth.D);
      RandomStream random(seed, 7);
      std::vector<cv::Point3d> rays;
      for (int i = 0; i < 200; ++i) {
        const cv::Vec3d r = rayAt(random.uniform(0.0, 89.0 * kDeg), random.uniform(0.0, 2.0 * CV_PI));
        rays.emplace_back(r[0], r[1], r[2]);
      }
      std::vector<cv::Point2d> expected;
      cv::fisheye::projectPoints(rays, expected, cv::Vec3d(), cv::Vec3d(), truth.K, truth.D);
      for (size_t i = 0; i < rays.size(); ++i) {
        const cv::Point2d p = lens.project(cv::Vec3d(rays[i].x, rays[i].y, rays[i].z));
        EXPECT_NEAR(p.x, expected[i].x, 1e-7);
        EXPECT_NEAR(p.y, expected[i].y, 1e-7);
      }
    }
  }
}

TEST(FisheyeLens, UnprojectInvertsProjectOverTheWholeField) {
  const CameraTruth truth = drawCamera(5, 2, 3200, 2400);
  const FisheyeLens lens(truth.K, truth.D);
  for (double thetaDeg = 0.0; thetaDeg < lens.maxTheta() / kDeg; thetaDeg += 2.5) {
    for (double phi = 0.0; phi < 2.0 * CV_PI; phi += 0.7) {
      const cv::Vec3d ray = rayAt(thetaDeg * kDeg, phi);
      const cv::Point2d pixel = lens.project(ray);
      cv::Vec3d back;
      ASSERT_TRUE(lens.unproject(pixel.x, pixel.y, back)) << thetaDeg;
      EXPECT_LT(directionErrorDeg(back, ray), 1e-9) << thetaDeg;
    }
  }
  cv::Vec3d ray;
  EXPECT_FALSE(lens.unproject(truth.K(0, 2) + 3.0 * truth.K(0, 0), truth.K(1, 2), ray))
      << "a pixel beyond the image circle sees nothing";
}

TEST(FisheyeLens, TurningPointOfTheModelLimitsTheField) {
  // theta_d = theta (1 − 0.2 theta²) turns back at theta = 1 / sqrt(0.6).
  const FisheyeLens lens(cv::Matx33d::eye(), cv::Vec4d(-0.2, 0.0, 0.0, 0.0));
  EXPECT_NEAR(lens.maxTheta(), 1.0 / std::sqrt(0.6), 1e-3);
  EXPECT_NEAR(lens.undistortTheta(lens.distortTheta(0.9)), 0.9, 1e-12);
}

TEST(CameraDraw, DrawsRealisticLensesThatScaleWithTheFrame) {
  for (std::uint64_t seed = 1; seed <= 20; ++seed) {
    for (int camera = 0; camera < 6; ++camera) {
      const CameraTruth full = drawCamera(seed, camera, 3200, 2400);
      EXPECT_GE(full.K(0, 0), 800.0);
      EXPECT_LE(full.K(0, 0), 850.0);
      EXPECT_NEAR(full.K(1, 1) / full.K(0, 0), 1.0, 0.003);
      EXPECT_NEAR(full.K(0, 2), 1600.0, 25.0);
      EXPECT_NEAR(full.K(1, 2), 1200.0, 25.0);
      EXPECT_GE(FisheyeLens(full.K, full.D).maxTheta(), 97.0 * kDeg) << "field of view about 190°";

      const CameraTruth half = drawCamera(seed, camera, 1600, 1200);
      EXPECT_TRUE(cv::norm(half.K * 2.0 - full.K - cv::Matx33d(0, 0, 0, 0, 0, 0, 0, 0, 1)) < 1e-9);
      EXPECT_EQ(half.D, full.D);
    }
  }
  EXPECT_NE(drawCamera(1, 0, 3200, 2400).K, drawCamera(2, 0, 3200, 2400).K);
  EXPECT_NE(drawCamera(1, 0, 3200, 2400).K, drawCamera(1, 1, 3200, 2400).K);
  EXPECT_EQ(drawCamera(9, 4, 3200, 2400).D, drawCamera(9, 4, 3200, 2400).D);
}

// A direct fisheye calibration on the exact corners of the sweep's frames (the views and the
// central selection the intrinsic job makes) must give back the model it was drawn with.
TEST(CameraDraw, CalibrationOnExactCornersRecoversTheModel) {
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    const int camera = static_cast<int>(seed);
    const CameraTruth truth = drawCamera(seed, camera, 3200, 2400);
    const FisheyeLens lens(truth.K, truth.D);
    std::vector<std::vector<cv::Point3f>> objectPoints;
    std::vector<std::vector<cv::Point2f>> imagePoints;
    constexpr int kFrames = 240;
    for (int f = 3; f < kFrames; f += 8) {
      std::vector<cv::Point3f> objects;
      std::vector<cv::Point2f> pixels;
      const std::vector<cv::Vec3d> corners = innerCorners(boardPoseAt(seed, camera, f, kFrames));
      for (size_t i = 0; i < corners.size(); ++i) {
        const cv::Point2d p = lens.project(corners[i]);
        if (std::hypot(p.x - 1600.0, p.y - 1200.0) > 1280.0) continue;
        objects.emplace_back(static_cast<float>(i % kInnerCornersX), static_cast<float>(i / kInnerCornersX), 0.0f);
        pixels.emplace_back(static_cast<float>(p.x), static_cast<float>(p.y));
      }
      if (pixels.size() < 20) continue;
      objectPoints.push_back(objects);
      imagePoints.push_back(pixels);
    }
    ASSERT_GE(imagePoints.size(), 20u);
    cv::Matx33d K;
    cv::Vec4d D;
    std::vector<cv::Vec3d> rvecs, tvecs;
    cv::fisheye::calibrate(objectPoints, imagePoints, cv::Size(3200, 2400), K, D, rvecs, tvecs,
                           cv::fisheye::CALIB_RECOMPUTE_EXTRINSIC | cv::fisheye::CALIB_FIX_SKEW,
                           cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, DBL_EPSILON));
    // Float pixel coordinates limit the fit to about 1e-4 px.
    EXPECT_LT(projectionRmsError(truth, K, D), 0.01) << "seed " << seed;
    EXPECT_NEAR(K(0, 0), truth.K(0, 0), 0.05);
    EXPECT_NEAR(K(1, 2), truth.K(1, 2), 0.05);
  }
}

}  // namespace
}  // namespace ringcalib::synth
