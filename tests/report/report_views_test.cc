// The report's views of a calibration as it will be used, against the generator's truth on the
// standard ring and on a ring of four in camera frames: the vertical disparity of a pair's
// correspondences in its epipolar frame, and where the panorama puts known scene directions.
#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include "report/assessment.h"
#include "report/panorama.h"
#include "report/rectified_pair.h"
#include "tools/camera_draw.h"
#include "tools/pair_truth.h"
#include "tools/ring_geometry.h"
#include "tools/ring_layout.h"
#include "tools/surround_scene.h"

namespace ringcalib::test {
namespace {

using report::CalibrationReport;

constexpr std::uint64_t kSeed = 5;
constexpr double kNoisePx = 0.1;  // the flow's noise on each correspondence, about
constexpr double kPanoramaTolerancePx = 0.5;

// The rings the report is shown: the standard six in its pose frames, and four cameras looking
// 30 degrees down in their sensor frames, without the random deviations so that the ring's up
// is the world's.
struct RingCase {
  const char* name;
  synth::RingLayout layout;
  synth::RingVariation variation;
  rig::PoseFrame frame;
};
const RingCase kRings[] = {
    {"standard", {}, {}, rig::PoseFrame::kPrepared},
    {"4 tilted", {4, -30.0, 0.0, synth::SensorMount::kQuarterTurned}, {std::nullopt, synth::ValueRange{0.0, 0.0}},
     rig::PoseFrame::kCamera}};

// A generated ring, its pairs' exact correspondences with noise added, as the rays of the pose
// frames the jobs record, and the poses: those the exact pixels give in the tool's convention,
// or the true poses of the sensor frames.
struct TrueRing {
  const RingCase& ring;
  int count = ring.layout.cameras;
  std::vector<synth::RingCamera> cameras = synth::drawRing(kSeed, ring.variation, ring.layout);
  std::vector<rig::PairPose> poses;
  std::vector<std::vector<cv::Vec3d>> rays1, rays2;

  explicit TrueRing(const RingCase& c) : ring(c), rays1(count), rays2(count) {
    const synth::SurroundScene scene(kSeed, 1.0, false);
    cv::RNG noise(kSeed);
    for (int n = 0; n < count; ++n) {
      const synth::RingCamera &first = cameras[n], &second = cameras[rig::nextCamera(n, count)];
      const auto points = synth::pairStripCorrespondences(first, second, scene, 40);
      poses.push_back(ring.frame == rig::PoseFrame::kPrepared
                          ? synth::fitToolConventionPose(points, synth::geometricPairPose(first, second))
                          : synth::sensorPairPose(first, second));
      const auto noisyRay = [&](const synth::RingCamera& camera, const cv::Point2d& p) {
        const cv::Point2f pixel(static_cast<float>(p.x + noise.gaussian(kNoisePx)),
                                static_cast<float>(p.y + noise.gaussian(kNoisePx)));
        return ring.frame == rig::PoseFrame::kPrepared ? rig::poseFrameRay(pixel)
                                                       : camera.worldToSensor() * synth::preparedRay(camera, pixel);
      };
      for (const synth::PairCorrespondence& point : points) {
        rays1[n].push_back(noisyRay(first, point.first));
        rays2[n].push_back(noisyRay(second, point.second));
      }
    }
  }
};

const TrueRing& trueRing(int ring) {
  static const TrueRing rings[] = {TrueRing(kRings[0]), TrueRing(kRings[1])};
  return rings[ring];
}

// The ring's poses with camera `turned` turned by `turn` (its frame X' = turn X); -1 turns none.
CalibrationReport ringReport(const TrueRing& ring, int turned, const cv::Matx33d& turn) {
  CalibrationReport report;
  report.ringCameras = ring.count;
  report.poseFrame = ring.ring.frame;
  for (int n = 0; n < ring.count; ++n) {
    report::PairReport& pair = report.pair(n);
    rig::PairPose pose = ring.poses[n];
    if (pair.second == turned) pose.R = turn * pose.R;
    if (pair.first == turned) pose = {pose.R * turn.t(), turn * pose.t};
    pair.solved = true;
    pair.R = pose.R;
    pair.t = pose.t;
    pair.inlierRays1 = ring.rays1[n];
    pair.inlierRays2 = ring.rays2[n];
  }
  return report;
}

cv::Matx33d turnDeg(const cv::Vec3d& axis, double degrees) {
  cv::Matx33d turn;
  cv::Rodrigues(cv::Vec3d(axis * (degrees * CV_PI / 180)), turn);
  return turn;
}

// A camera's horizontal axis in its pose frame: its upright view's x (tools/ring_layout.h).
cv::Vec3d pitchAxis(const TrueRing& ring) {
  const cv::Vec3d viewX(1, 0, 0);
  if (ring.ring.frame == rig::PoseFrame::kPrepared) return viewX;
  return synth::viewFromSensor(ring.ring.layout.mount).t() * viewX;
}

// True poses: every pair good, its median below what the noise alone gives where rows are
// densest (the views' centre, 550 px per radian: the median of |N(0, sqrt(2) noise)|). One
// camera pitched by 0.2 degrees either way, or turned by 0.2 degrees about one of its pairs'
// baselines (on the ring of six, whose other baseline is not square to it): both its pairs
// poor, the others good, and the ring closes.
TEST(ReportViews, VerticalDisparityTellsOneCameraTurnedAcrossTheRows) {
  const double noiseMedianDeg = 0.674 * std::sqrt(2.0) * kNoisePx / 550 * 180 / CV_PI;
  enum Axis { kPitch, kBaseline };
  const struct {
    int ring;
    int camera;  // -1: none
    Axis axis;
    double degrees;
  } cases[] = {{0, -1, kPitch, 0.0}, {0, 2, kPitch, 0.2}, {0, 0, kPitch, -0.2}, {0, 5, kBaseline, 0.2},
               {1, -1, kPitch, 0.0}, {1, 2, kPitch, 0.2}, {1, 0, kPitch, -0.2}, {1, 3, kPitch, 0.2}};
  for (const auto& [ringIndex, camera, axis, degrees] : cases) {
    const TrueRing& ring = trueRing(ringIndex);
    const cv::Vec3d turnAxis = axis == kPitch ? pitchAxis(ring) : cv::normalize(ring.poses[camera].t);
    const report::Assessment assessment = report::assess(ringReport(ring, camera, turnDeg(turnAxis, degrees)));
    ASSERT_EQ(assessment.depth.size(), static_cast<std::size_t>(ring.count));
    // Turning one camera's frame changes two pairs, never the ring's closure.
    EXPECT_EQ(assessment.ringJudgement.verdict, report::Verdict::kGood) << ring.ring.name << " camera " << camera;
    for (int n = 0; n < ring.count; ++n) {
      const std::string what = std::string(ring.ring.name) + " camera " + std::to_string(camera) + " pair " +
                               std::to_string(n);
      ASSERT_TRUE(assessment.depth[n].has_value()) << what;
      const report::DepthReadiness& depth = *assessment.depth[n];
      const bool touched = n == camera || rig::nextCamera(n, ring.count) == camera;
      EXPECT_EQ(depth.judgement.verdict, touched ? report::Verdict::kPoor : report::Verdict::kGood)
          << what << ": " << depth.medianDeg;
      if (!touched) {
        EXPECT_LT(depth.medianDeg, noiseMedianDeg) << what;
      }
      EXPECT_GT(depth.p95Deg, depth.medianDeg) << what;
    }
  }
}

cv::Vec3d axisOf(const TrueRing& ring, int camera) {
  return ring.cameras[camera].worldToPrepared.t() * cv::Vec3d(0, 0, 1);
}

// The ring's up as its own geometry says: on the standard ring the normal of the plane of the
// cameras' axes; the ring of four has no deviations, so its up is the world's y.
cv::Vec3d ringUp(const TrueRing& ring) {
  if (ring.ring.frame == rig::PoseFrame::kCamera) return {0, 1, 0};
  cv::Matx33d scatter = cv::Matx33d::zeros();
  for (int n = 0; n < ring.count; ++n) scatter += axisOf(ring, n) * axisOf(ring, n).t();
  cv::Vec3d values;
  cv::Matx33d vectors;
  cv::eigen(scatter, values, vectors);
  const cv::Vec3d up(vectors(2, 0), vectors(2, 1), vectors(2, 2));
  return up[1] < 0 ? -up : up;  // the world's y is up
}

// The intensity-weighted centre of the bright pixels within 20 px of `near`.
cv::Point2d brightCentre(const cv::Mat& image, const cv::Point2d& near) {
  const cv::Rect window = cv::Rect(cv::Point(cvRound(near.x) - 20, cvRound(near.y) - 20), cv::Size(41, 41)) &
                          cv::Rect(0, 0, image.cols, image.rows);
  cv::Mat bright;
  cv::threshold(image(window), bright, 40, 255, cv::THRESH_TOZERO);
  const cv::Moments moments = cv::moments(bright, false);
  return {window.x + moments.m10 / moments.m00, window.y + moments.m01 / moments.m00};
}

// Stills of the ring's cameras, black but for a dot wherever they see one of `directions`.
std::vector<report::StillCamera> dottedStills(const TrueRing& ring, const std::vector<cv::Vec3d>& directions) {
  std::vector<report::StillCamera> cameras;
  for (int n = 0; n < ring.count; ++n) {
    cameras.push_back({cv::Mat::zeros(3000, 4000, CV_8U), synth::drawCamera(kSeed, n, 3200, 2400).scaledToStill()});
    for (const cv::Vec3d& direction : directions) {
      const cv::Vec3d ray = ring.cameras[n].worldToSensor() * direction;
      if (ray[2] < 0.2) continue;
      const cv::Point2d pixel = rig::FisheyeLens(cameras[n].lens).project(ray);
      cv::circle(cameras[n].still, cv::Point(cvRound(16 * pixel.x), cvRound(16 * pixel.y)), 6 * 16, cv::Scalar(255),
                 cv::FILLED, cv::LINE_AA, 4);
    }
  }
  return cameras;
}

// The dotted stills stitched with the true poses: each dot lies within half a pixel of where the ring's own geometry puts
// its direction (horizon = the ring's plane, camera 0 ahead, camera 1 to the right). Half a
// pixel, not 2: reading the standard ring's poses as frames of the prepared views' true
// principal point instead of (1800, 1800) moves the dots by 1.2 px.
TEST(ReportViews, PanoramaPutsSceneDirectionsWhereTheyLie) {
  for (int ringIndex : {0, 1}) {
    const TrueRing& ring = trueRing(ringIndex);
    const cv::Vec3d up = ringUp(ring);
    const cv::Vec3d ahead = cv::normalize(axisOf(ring, 0) - axisOf(ring, 0).dot(up) * up), right = ahead.cross(up);
    const cv::Vec3d raised = std::cos(0.7) * cv::normalize(ahead + 0.6 * right) + std::sin(0.7) * up;
    // The axes of a camera to the right short of the panorama's seam behind camera 0, of the
    // last camera, and a direction up and to the right.
    const std::vector<cv::Vec3d> directions = {axisOf(ring, ring.count / 2 - 1), axisOf(ring, ring.count - 1), raised};
    const report::Panorama panorama =
        report::stitchPanorama(dottedStills(ring, directions), rig::composeRing(rig::rotationsOf(ring.poses)), ring.ring.frame);
    ASSERT_EQ(panorama.image.size(), cv::Size(4096, 2048));
    for (const cv::Vec3d& direction : directions) {
      const cv::Point2d expected = report::panoramaPixel({right.dot(direction), -up.dot(direction), ahead.dot(direction)});
      const cv::Point2d found = brightCentre(panorama.image, expected);
      EXPECT_LT(std::abs(found.x - expected.x), kPanoramaTolerancePx) << ring.ring.name << expected << " " << found;
      EXPECT_LT(std::abs(found.y - expected.y), kPanoramaTolerancePx) << ring.ring.name << expected << " " << found;
    }
  }
}

// The rectified picture's pixel (left view at 0, the right one after it and the gap) of an
// epipolar-frame ray.
cv::Point2d rectifiedPixel(const cv::Vec3d& ray, bool right) {
  const double column = std::asin(ray[0] / cv::norm(ray)) * 180 / CV_PI, row = std::atan2(ray[1], ray[2]) * 180 / CV_PI;
  const double width = 2 * report::kRectifiedHalfWidthDeg * report::kRectifiedPixelsPerDegree;
  return {(column + report::kRectifiedHalfWidthDeg) * report::kRectifiedPixelsPerDegree - 0.5 + (right ? width + 8 : 0),
          (row + report::kRectifiedHalfHeightDeg) * report::kRectifiedPixelsPerDegree - 0.5};
}

// Directions both cameras of pair 0 see, between their axes and above and below, lie where the
// pair's epipolar frame puts them in each view of its rectified picture, and so on one row.
TEST(ReportViews, RectifiedPairPutsDirectionsOnTheirRows) {
  for (int ringIndex : {0, 1}) {
    const TrueRing& ring = trueRing(ringIndex);
    const cv::Vec3d between = cv::normalize(axisOf(ring, 0) + axisOf(ring, 1)), up = ringUp(ring);
    const std::vector<cv::Vec3d> directions = {between, cv::normalize(between + 0.4 * up), cv::normalize(between - 0.4 * up)};
    const std::vector<report::StillCamera> stills = dottedStills(ring, directions);
    const cv::Mat picture = report::rectifyPair(stills[0], stills[1], ring.poses[0], ring.ring.frame);
    cv::Mat white;  // the dots, without the guide lines (no blue in them)
    cv::extractChannel(picture, white, 0);
    const report::EpipolarFrame epipolar = report::epipolarFrame(ring.poses[0]);
    const cv::Matx33d toPoseFrame = rig::poseFrameToSensor(ring.ring.frame).t();
    for (const cv::Vec3d& direction : directions) {
      const cv::Point2d expected[] = {
          rectifiedPixel(epipolar.first * (toPoseFrame * (ring.cameras[0].worldToSensor() * direction)), false),
          rectifiedPixel(epipolar.second * (toPoseFrame * (ring.cameras[1].worldToSensor() * direction)), true)};
      EXPECT_NEAR(expected[0].y, expected[1].y, 0.01) << ring.ring.name;
      for (const cv::Point2d& pixel : expected) {
        const cv::Point2d found = brightCentre(white, pixel);
        EXPECT_LT(cv::norm(found - pixel), kPanoramaTolerancePx) << ring.ring.name << pixel << " " << found;
      }
    }
  }
}

}  // namespace
}  // namespace ringcalib::test
