// The report's views of a calibration as it will be used, against the generator's truth:
// the vertical disparity of a pair's correspondences in its epipolar frame, and where the
// panorama puts known scene directions.
#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include "report/assessment.h"
#include "report/panorama.h"
#include "tools/camera_draw.h"
#include "tools/pair_truth.h"
#include "tools/ring_geometry.h"
#include "tools/surround_scene.h"

namespace ringcalib::test {
namespace {

using report::CalibrationReport;

constexpr std::uint64_t kSeed = 5;
constexpr double kNoisePx = 0.1;  // the flow's noise on each correspondence, about
constexpr double kPanoramaTolerancePx = 0.5;

// The generated ring, its pairs' exact correspondences with noise added, and the poses those
// exact pixels give in the tool's convention.
struct TrueRing {
  std::vector<synth::RingCamera> cameras = synth::drawRing(kSeed);
  std::array<rig::PairPose, 6> poses;
  std::array<std::vector<cv::Point2f>, 6> pts1, pts2;

  TrueRing() {
    const synth::SurroundScene scene(kSeed, 1.0, false);
    cv::RNG noise(kSeed);
    for (int n = 0; n < 6; ++n) {
      const auto points = synth::pairStripCorrespondences(cameras[n], cameras[(n + 1) % 6], scene, 40);
      poses[n] = synth::fitToolConventionPose(points, synth::geometricPairPose(cameras[n], cameras[(n + 1) % 6]));
      for (const synth::PairCorrespondence& point : points) {
        const auto noisy = [&noise](const cv::Point2d& p) {
          return cv::Point2f(static_cast<float>(p.x + noise.gaussian(kNoisePx)),
                             static_cast<float>(p.y + noise.gaussian(kNoisePx)));
        };
        pts1[n].push_back(noisy(point.first));
        pts2[n].push_back(noisy(point.second));
      }
    }
  }
};

const TrueRing& trueRing() {
  static const TrueRing ring;
  return ring;
}

// The ring's poses with camera `turned` turned by `turn` (its frame X' = turn X); -1 turns none.
CalibrationReport ringReport(int turned, const cv::Matx33d& turn) {
  CalibrationReport report;
  for (int n = 0; n < 6; ++n) {
    report::PairReport& pair = report.pair(n);
    rig::PairPose pose = trueRing().poses[n];
    if (pair.second == turned) pose.R = turn * pose.R;
    if (pair.first == turned) pose = {pose.R * turn.t(), turn * pose.t};
    pair.solved = true;
    pair.R = pose.R;
    pair.t = pose.t;
    pair.inliers1 = trueRing().pts1[n];
    pair.inliers2 = trueRing().pts2[n];
  }
  return report;
}

cv::Matx33d turnDeg(const cv::Vec3d& axis, double degrees) {
  cv::Matx33d turn;
  cv::Rodrigues(cv::Vec3d(axis * (degrees * CV_PI / 180)), turn);
  return turn;
}

// True poses: every pair good, its median below what the noise alone gives where rows are
// densest (the views' centre, 550 px per radian: the median of |N(0, sqrt(2) noise)|). One
// camera pitched by 0.2 degrees either way, or turned by 0.2 degrees about one of its pairs'
// baselines: both its pairs poor, the other four good.
TEST(ReportViews, VerticalDisparityTellsOneCameraTurnedAcrossTheRows) {
  const double noiseMedianDeg = 0.674 * std::sqrt(2.0) * kNoisePx / 550 * 180 / CV_PI;
  const cv::Vec3d pitch(1, 0, 0), baseline5 = cv::normalize(trueRing().poses[5].t);
  const struct {
    int camera;  // -1: none
    cv::Vec3d axis;
    double degrees;
  } cases[] = {{-1, pitch, 0.0}, {2, pitch, 0.2}, {0, pitch, -0.2}, {5, baseline5, 0.2}};
  for (const auto& [camera, axis, degrees] : cases) {
    const report::Assessment assessment = report::assess(ringReport(camera, turnDeg(axis, degrees)));
    for (int n = 0; n < 6; ++n) {
      ASSERT_TRUE(assessment.depth[n].has_value());
      const report::DepthReadiness& depth = *assessment.depth[n];
      const bool touched = n == camera || (n + 1) % 6 == camera;
      EXPECT_EQ(depth.judgement.verdict, touched ? report::Verdict::kPoor : report::Verdict::kGood)
          << "camera " << camera << " pair " << n << ": " << depth.medianDeg;
      if (!touched) {
        EXPECT_LT(depth.medianDeg, noiseMedianDeg) << "camera " << camera << " pair " << n;
      }
      EXPECT_GT(depth.p95Deg, depth.medianDeg);
    }
  }
}

cv::Vec3d axisOf(int camera) { return trueRing().cameras[camera].worldToPrepared.t() * cv::Vec3d(0, 0, 1); }

// The intensity-weighted centre of the bright pixels within 20 px of `near`.
cv::Point2d brightCentre(const cv::Mat& image, const cv::Point2d& near) {
  const cv::Rect window = cv::Rect(cv::Point(cvRound(near.x) - 20, cvRound(near.y) - 20), cv::Size(41, 41)) &
                          cv::Rect(0, 0, image.cols, image.rows);
  cv::Mat bright;
  cv::threshold(image(window), bright, 40, 255, cv::THRESH_TOZERO);
  const cv::Moments moments = cv::moments(bright, false);
  return {window.x + moments.m10 / moments.m00, window.y + moments.m01 / moments.m00};
}

// Stills that are black but for a dot wherever they see one of the scene directions, stitched
// with the true poses: each dot lies within half a pixel of where the ring's own geometry puts
// its direction (horizon = the plane of the cameras' axes, camera 0 ahead, camera 1 to the
// right). Half a pixel, not 2: reading the poses as frames of the prepared views' true
// principal point instead of (1800, 1800) moves the dots by 1.2 px.
TEST(ReportViews, PanoramaPutsSceneDirectionsWhereTheyLie) {
  cv::Matx33d scatter = cv::Matx33d::zeros();
  for (int n = 0; n < 6; ++n) scatter += axisOf(n) * axisOf(n).t();
  cv::Vec3d values;
  cv::Matx33d vectors;
  cv::eigen(scatter, values, vectors);
  cv::Vec3d up(vectors(2, 0), vectors(2, 1), vectors(2, 2));
  if (up[1] < 0) up = -up;  // the world's y is up
  const cv::Vec3d ahead = cv::normalize(axisOf(0) - axisOf(0).dot(up) * up), right = ahead.cross(up);
  const cv::Vec3d raised = std::cos(0.7) * cv::normalize(ahead + 0.6 * right) + std::sin(0.7) * up;
  const cv::Vec3d directions[] = {axisOf(2), axisOf(5), raised};

  std::array<report::StillCamera, 6> cameras;
  std::array<cv::Matx33d, 6> rotations;
  for (int n = 0; n < 6; ++n) {
    cameras[n] = {cv::Mat::zeros(3000, 4000, CV_8U), synth::drawCamera(kSeed, n, 3200, 2400).scaledToStill()};
    for (const cv::Vec3d& direction : directions) {
      const cv::Vec3d ray = trueRing().cameras[n].worldToSensor() * direction;
      if (ray[2] < 0.2) continue;
      const cv::Point2d pixel = rig::FisheyeLens(cameras[n].lens).project(ray);
      cv::circle(cameras[n].still, cv::Point(cvRound(16 * pixel.x), cvRound(16 * pixel.y)), 6 * 16, cv::Scalar(255),
                 cv::FILLED, cv::LINE_AA, 4);
    }
    rotations[n] = trueRing().poses[n].R;
  }
  const report::Panorama panorama = report::stitchPanorama(cameras, rig::composeRing(rotations));
  ASSERT_EQ(panorama.image.size(), cv::Size(4096, 2048));
  for (const cv::Vec3d& direction : directions) {
    const cv::Point2d expected = report::panoramaPixel({right.dot(direction), -up.dot(direction), ahead.dot(direction)});
    const cv::Point2d found = brightCentre(panorama.image, expected);
    EXPECT_LT(std::abs(found.x - expected.x), kPanoramaTolerancePx) << expected << " " << found;
    EXPECT_LT(std::abs(found.y - expected.y), kPanoramaTolerancePx) << expected << " " << found;
  }
}

}  // namespace
}  // namespace ringcalib::test
