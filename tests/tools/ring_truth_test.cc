// The ring's geometry and the pair truth in the tool's pixel convention.
#include "tools/pair_truth.h"

#include <cmath>

#include <gtest/gtest.h>

#include "tools/ring_geometry.h"
#include "tools/surround_scene.h"
#include "tools/tool_view.h"
#include "tools/truth_compare.h"

namespace ringcalib::synth {
namespace {

double rms(const std::vector<double>& values) {
  double sum = 0.0;
  for (double v : values) sum += v * v;
  return std::sqrt(sum / static_cast<double>(values.size()));
}

TEST(RingGeometry, NeighbourSitsToTheRightAndUpPointsRightInRawStills) {
  const cv::Matx33d idealR(0.5, 0.0, -std::sqrt(0.75), 0.0, 1.0, 0.0, std::sqrt(0.75), 0.0, 0.5);
  const cv::Vec3d idealT(std::sqrt(0.75), 0.0, -0.5);
  for (std::uint64_t seed = 1; seed <= 4; ++seed) {
    const std::array<RingCamera, 6> ring = drawRing(seed);
    for (size_t i = 0; i < ring.size(); ++i) {
      const PairTruth pose = geometricPairPose(ring[i], ring[(i + 1) % 6]);
      // Deviations of about 1° per camera and a few millimetres on a 0.15 m chord.
      EXPECT_LT(rotationErrorDeg(pose.R, idealR), 4.0) << "seed " << seed << " pair " << i;
      EXPECT_LT(directionErrorDeg(pose.t, idealT), 5.0) << "seed " << seed << " pair " << i;
      EXPECT_NEAR(cv::norm(ring[i].centre), 0.15, 0.015);
      // The world's up (y) in the sensor frame: along +x, the raw still's right.
      const cv::Vec3d up = ring[i].worldToSensor() * cv::Vec3d(0.0, 1.0, 0.0);
      EXPECT_GT(up[0], 0.99) << "seed " << seed << " camera " << i;
    }
  }
}

TEST(RingGeometry, PreparedPixelAndRayAreInverse) {
  const RingCamera camera = drawRing(3)[4];
  for (const cv::Point2d pixel : {cv::Point2d(1800, 1799), cv::Point2d(10.5, 3500.25), cv::Point2d(2900, 400)}) {
    cv::Point2d back;
    ASSERT_TRUE(preparedPixel(camera, camera.centre + 7.0 * preparedRay(camera, pixel), back));
    EXPECT_NEAR(back.x, pixel.x, 1e-9);
    EXPECT_NEAR(back.y, pixel.y, 1e-9);
  }
  // The optical axis lands on the quarter-turned centre, one row above the tool's (1800, 1800).
  cv::Point2d axis;
  ASSERT_TRUE(preparedPixel(camera, camera.centre + camera.worldToPrepared.t() * cv::Vec3d(0, 0, 1), axis));
  EXPECT_NEAR(axis.x, 1800.0, 1e-9);
  EXPECT_NEAR(axis.y, 1799.0, 1e-9);
  cv::Point2d behind;
  EXPECT_FALSE(preparedPixel(camera, camera.centre - camera.worldToPrepared.t() * cv::Vec3d(0, 0, 1), behind));
}

// The pair truth is the pose that the exact pixels give under the tool's camera matrix: it
// explains them to a few hundredths of a pixel (a one-row shift of both views is not exactly a
// turn of the cameras, so a little remains), while the geometric pose is off by the quarter
// turn's row and lies about 0.1° away.
TEST(PairTruth, FitsTheExactPixelsOfTheStripUnderTheToolsCameraMatrix) {
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    const SurroundScene scene(seed, 1.0, false);
    const std::array<RingCamera, 6> ring = drawRing(seed);
    for (size_t i = 0; i < ring.size(); i += 2) {
      const RingCamera& first = ring[i];
      const RingCamera& second = ring[(i + 1) % 6];
      const std::vector<PairCorrespondence> points = pairStripCorrespondences(first, second, scene, 40);
      ASSERT_GT(points.size(), 1000u) << "seed " << seed << " pair " << i;
      for (const PairCorrespondence& c : points) {
        const cv::Point2d q1 = tool_view::throughHomography(tool_view::pairRotation(), c.first);
        ASSERT_GE(q1.x, tool_view::kStripStart - 1e-6) << "first point comes from the strip";
        ASSERT_LE(q1.x, tool_view::kStripStart + tool_view::kStripWidth);
      }
      const PairTruth geometric = geometricPairPose(first, second);
      const PairTruth truth = fitToolConventionPose(points, geometric);
      EXPECT_NEAR(cv::norm(truth.t), 1.0, 1e-12);
      EXPECT_LT(rms(sampsonResiduals(points, truth)), 0.03) << "seed " << seed << " pair " << i;
      EXPECT_GT(rms(sampsonResiduals(points, geometric)), 0.1) << "the one-row offset is visible";
      const double offset = rotationErrorDeg(truth.R, geometric.R);
      EXPECT_GT(offset, 0.07) << "seed " << seed << " pair " << i;
      EXPECT_LT(offset, 0.14) << "seed " << seed << " pair " << i;
      EXPECT_LT(directionErrorDeg(truth.t, geometric.t), 0.5);
    }
  }
}

TEST(PairTruth, RecoversAConsistentPoseExactly) {
  // Pixels made under the tool's own convention (centre row 1800) give back the pose itself.
  RingCamera first = drawRing(8)[0], second = drawRing(8)[1];
  const PairTruth geometric = geometricPairPose(first, second);
  std::vector<PairCorrespondence> points;
  for (const PairCorrespondence& c : pairStripCorrespondences(first, second, SurroundScene(8, 1.0, false), 60))
    points.push_back({c.first + cv::Point2d(0.0, 1.0), c.second + cv::Point2d(0.0, 1.0)});
  const PairTruth start{geometric.R, cv::normalize(geometric.t + cv::Vec3d(0.02, -0.01, 0.0))};
  const PairTruth fitted = fitToolConventionPose(points, start);
  EXPECT_LT(rotationErrorDeg(fitted.R, geometric.R), 1e-6);
  EXPECT_LT(directionErrorDeg(fitted.t, geometric.t), 1e-5);
}

}  // namespace
}  // namespace ringcalib::synth
