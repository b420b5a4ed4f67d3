// The generator's truth, which the accuracy tests rely on: its lens is cv::fisheye's model,
// its pair truth fits the pixels, its stills follow the tool's conventions, and the error
// measures mean what they say.
#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "tools/camera_draw.h"
#include "tools/rig_truth.h"
#include "tools/pair_truth.h"
#include "tools/ring_geometry.h"
#include "tools/still_renderer.h"
#include "tools/surround_scene.h"
#include "tools/truth_compare.h"

namespace ringcalib::synth {
namespace {

TEST(Generator, LensProjectsLikeOpenCvsFisheyeModel) {
  for (int camera = 0; camera < 6; ++camera) {
    const CameraTruth truth = drawCamera(1, camera, 3200, 2400);
    cv::RNG random(camera);
    std::vector<cv::Point3d> rays;
    for (int i = 0; i < 200; ++i) {
      const double theta = random.uniform(0.0, 89.0) * CV_PI / 180, phi = random.uniform(0.0, 2 * CV_PI);
      rays.emplace_back(std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta));
    }
    std::vector<cv::Point2d> expected;
    cv::fisheye::projectPoints(rays, expected, cv::Vec3d(), cv::Vec3d(), truth.K, truth.D);
    for (std::size_t i = 0; i < rays.size(); ++i) {
      EXPECT_LT(cv::norm(FisheyeLens(truth.K, truth.D).project(cv::Vec3d(rays[i])) - expected[i]), 1e-7);
    }
  }
}

double rms(const std::vector<double>& values) {
  double sum = 0.0;
  for (double v : values) sum += v * v;
  return std::sqrt(sum / static_cast<double>(values.size()));
}

// The pair truth is the pose that the exact pixels of the strip give under the tool's camera
// matrix; the prepared views' own geometric pose is off by the quarter turn's row.
TEST(Generator, PairTruthFitsTheExactPixelsOfTheStrip) {
  for (std::uint64_t seed = 1; seed <= 2; ++seed) {
    const SurroundScene scene(seed, 1.0, false);
    const std::array<RingCamera, 6> ring = drawRing(seed);
    for (std::size_t i = 0; i < ring.size(); i += 2) {
      const std::vector<PairCorrespondence> points = pairStripCorrespondences(ring[i], ring[(i + 1) % 6], scene, 40);
      ASSERT_GT(points.size(), 1000u) << "seed " << seed << " pair " << i;
      const PairTruth geometric = geometricPairPose(ring[i], ring[(i + 1) % 6]);
      const PairTruth truth = fitToolConventionPose(points, geometric);
      EXPECT_LT(rms(sampsonResiduals(points, truth)), 0.03) << "seed " << seed << " pair " << i;
      EXPECT_GT(rms(sampsonResiduals(points, geometric)), 0.1);
      EXPECT_NEAR(rig::rotationErrorDeg(truth.R, geometric.R), 0.1, 0.04);
    }
  }
}

TEST(Generator, ErrorMeasures) {
  const CameraTruth truth = drawCamera(1, 0, 3200, 2400);
  EXPECT_EQ(projectionRmsError(truth, truth.K, truth.D), 0.0);
  cv::Matx33d shifted = truth.K;
  shifted(0, 2) += 0.3, shifted(1, 2) -= 0.4;  // every projection moves by 0.5 px
  EXPECT_NEAR(projectionRmsError(truth, shifted, truth.D), 0.5, 1e-9);
  cv::Matx33d R, turn;
  cv::Rodrigues(cv::Vec3d(0.3, -0.5, 0.8), R);
  cv::Rodrigues(cv::Vec3d(0.0, 0.02 * CV_PI / 180, 0.0), turn);
  EXPECT_NEAR(rig::rotationErrorDeg(turn * R, R), 0.02, 1e-9);
  EXPECT_NEAR(rig::directionErrorDeg({0.866, 0.0, -0.5}, {1.732, 0.0, -1.0}), 0.0, 1e-6);
  EXPECT_NEAR(rig::directionErrorDeg({1.0, 0.0, 0.0}, {-1.0, 0.0, 1.0}), 135.0, 1e-12);
}

constexpr int kN = 3600;
constexpr double kFocal = 550.0;
constexpr double kCentre = 1800.0;

// The same scene rendered straight into the prepared view around `centre`: an independent
// pinhole renderer sharing nothing with the generator but the scene. Prepared pixel (column k,
// row r) came from undistorted row k and column N - 1 - r.
cv::Mat directPatch(const SurroundScene& scene, const RingCamera& camera, cv::Point centre, int half) {
  cv::Mat patch(2 * half + 1, 2 * half + 1, CV_32F);
  const cv::Matx33d sensorToWorld = camera.worldToSensor().t();
  for (int r = 0; r < patch.rows; ++r) {
    for (int k = 0; k < patch.cols; ++k) {
      const cv::Vec3d sensorRay((kN - 1 - (centre.y - half + r) - kCentre) / kFocal, (centre.x - half + k - kCentre) / kFocal, 1);
      const SceneHit hit = scene.cast(camera.centre, cv::normalize(sensorToWorld * sensorRay));
      patch.at<float>(r, k) = hit.surface < 0 ? 0.0f : scene.shade(hit, hit.distance / kFocal / std::max(hit.cosIncidence, 0.05));
    }
  }
  return patch;
}

// Independent check of the stills' conventions: a still goes through the tool's preparation
// (read as grey, fisheye undistortion with K × 1.25 to the 550 / 1800 pinhole view, quarter
// turn counter-clockwise, done here with the library's own functions) and must show each
// scene point at the pixel that the truth assigns to it.
TEST(Generator, PreparedStillsShowScenePointsWhereTheTruthPutsThem) {
  constexpr std::uint64_t kSeed = 6;
  // 1280 × 960 video resolution: stills of 1600 × 1200 whose focal length (about 410 px) is
  // not far below the prepared view's 550, so the undistortion magnifies only a little.
  const SurroundScene scene(kSeed, 2.5);
  const std::array<RingCamera, 6> ring = drawRing(kSeed);
  std::array<cv::Mat, 2> prepared;
  for (int n = 0; n < 2; ++n) {
    const CameraTruth camera = drawCamera(kSeed, n, 1280, 960);
    cv::Matx33d K = camera.K;
    K(0, 0) *= 1.25, K(0, 2) *= 1.25, K(1, 1) *= 1.25, K(1, 2) *= 1.25;
    std::vector<uchar> jpeg;
    cv::imencode(".jpg", renderStill(FisheyeLens(K, camera.D), ring[n], scene, cv::Size(1600, 1200)), jpeg,
                 {cv::IMWRITE_JPEG_QUALITY, 95});
    const cv::Mat grey = cv::imdecode(jpeg, cv::IMREAD_GRAYSCALE);
    cv::Mat undistorted;
    const cv::Matx33d Knew(kFocal, 0, kCentre, 0, kFocal, kCentre, 0, 0, 1);
    cv::fisheye::undistortImage(grey, undistorted, K, camera.D, Knew, cv::Size(kN, kN));
    cv::rotate(undistorted, prepared[static_cast<size_t>(n)], cv::ROTATE_90_COUNTERCLOCKWISE);
  }

  // Scene points of pair (0, 1) that the flow would see, spread over the strip.
  const std::vector<PairCorrespondence> points = pairStripCorrespondences(ring[0], ring[1], scene, 180);
  constexpr int kHalf = 24;
  int checked = 0;
  cv::Point2d shiftSum(0.0, 0.0);
  for (size_t k = 0; k < points.size(); k += 3) {
    for (int n = 0; n < 2; ++n) {
      const cv::Point2d truthPixel = n == 0 ? points[k].first : points[k].second;
      const cv::Point centre(static_cast<int>(std::lround(truthPixel.x)), static_cast<int>(std::lround(truthPixel.y)));
      const cv::Rect window(centre.x - kHalf, centre.y - kHalf, 2 * kHalf + 1, 2 * kHalf + 1);
      if ((window & cv::Rect(0, 0, kN, kN)) != window) continue;
      cv::Mat direct = directPatch(scene, ring[static_cast<size_t>(n)], centre, kHalf);
      cv::Mat seen;
      prepared[static_cast<size_t>(n)](window).convertTo(seen, CV_32F);
      // Both through the same mild blur, so that only their offset differs.
      cv::GaussianBlur(direct, direct, cv::Size(0, 0), 1.5);
      cv::GaussianBlur(seen, seen, cv::Size(0, 0), 1.5);
      cv::Scalar mean, sigma;
      cv::meanStdDev(direct, mean, sigma);
      if (sigma[0] < 8.0 || cv::countNonZero(seen < 1.0f) > 0) continue;  // too flat to locate, or off the image
      cv::Mat window2D;
      cv::createHanningWindow(window2D, direct.size(), CV_32F);
      const cv::Point2d shift = cv::phaseCorrelate(direct, seen, window2D);
      // One patch may land up to about 0.75 px off (its texture rendered by another compiler
      // rounds differently near occlusion edges); a one-row convention slip moves every patch
      // by a pixel and is caught by the mean below as well.
      EXPECT_LT(std::hypot(shift.x, shift.y), 0.9) << "camera " << n << " at " << truthPixel << " shift " << shift;
      shiftSum += shift;
      ++checked;
    }
  }
  ASSERT_GE(checked, 10);
  // No systematic offset either (a half-pixel slip of a convention would show here).
  EXPECT_LT(std::abs(shiftSum.x / checked), 0.05);
  EXPECT_LT(std::abs(shiftSum.y / checked), 0.05);
}

}  // namespace
}  // namespace ringcalib::synth
