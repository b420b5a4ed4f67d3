// The steps of the extrinsic job: the image orientation, the dense-flow correspondences and
// the pose of one pair with its diagnostics and failures.
#include <regex>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include "calibration/extrinsic/dense_flow_matches.h"
#include "calibration/check/rig_check.h"
#include "calibration/extrinsic/image_orientation.h"
#include "calibration/extrinsic/match_refinement.h"
#include "calibration/extrinsic/pair_steps.h"
#include "rig/prepared_view.h"
#include "tests/support/synthetic_two_view.h"
#include "tests/support/test_support.h"

namespace ringcalib::test {
namespace {

cv::Mat pairRotation() { return cv::Mat(rig::pairRotation()); }
cv::Mat targetCameraMatrix() { return cv::Mat(rig::targetCamera()); }
// The standard rig's views: the prepared views are the pose frames.
extrinsic::PairView preparedViews() { return {rig::targetCamera()}; }

cv::Mat bytes(int rows, int cols, std::vector<uchar> values) {
  return cv::Mat(rows, cols, CV_8U, values.data()).clone();
}

bool sameBytes(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// The quarter turn is counter-clockwise. With K = I the warp's homography is R itself, here
// one that samples pixel (x + dx, y): values extrapolated beyond the byte range are clamped.
TEST(ImageOrientation, QuarterTurnAndWarp) {
  cv::Mat wide = bytes(2, 3, {1, 2, 3, 4, 5, 6});
  extrinsic::rotate90(wide);
  EXPECT_TRUE(sameBytes(wide, bytes(3, 2, {3, 6, 2, 5, 1, 4})));
  const cv::Mat I = cv::Mat::eye(3, 3, CV_64F);
  const auto column0 = [&](uchar a, uchar b, double dx) {
    cv::Mat image(4, 3, CV_8U, cv::Scalar(0));
    image.col(0).setTo(a);
    image.col(1).setTo(b);
    extrinsic::rotateImage(image, (cv::Mat_<double>(3, 3) << 1, 0, dx, 0, 1, 0, 0, 0, 1), I);
    return image.at<uchar>(1, 0);
  };
  EXPECT_EQ(column0(100, 60, -0.5), 120);  // 1.5 * 100 - 0.5 * 60
  EXPECT_EQ(column0(0, 200, -0.5), 0);     // -100 held at 0, not its low byte 156
  EXPECT_EQ(column0(255, 0, -0.5), 255);   // 382.5 held at 255, not 126
  EXPECT_EQ(column0(90, 90, -1.0), 0);     // a whole pixel outside
}

// The pairs warp only the strip the flow reads: the same bytes there, zeros beside.
TEST(ImageOrientation, StripIsTheWholeWarpsColumns) {
  const cv::Mat K = (cv::Mat_<double>(3, 3) << 80, 0, 100, 0, 80, 75, 0, 0, 1);
  cv::Mat whole(150, 200, CV_8UC3), strip;
  cv::randu(whole, 0, 256);
  strip = whole.clone();
  extrinsic::rotateImage(whole, pairRotation(), K);
  extrinsic::rotateImageColumns(strip, pairRotation(), K, cv::Range(70, 130));
  EXPECT_TRUE(sameBytes(strip.colRange(70, 130), whole.colRange(70, 130)));
  EXPECT_EQ(cv::countNonZero(strip.colRange(0, 70).reshape(1)) + cv::countNonZero(strip.colRange(130, 200).reshape(1)), 0);
}

// A source whose value is its column: the warped value at p is the column the warp sampled,
// which rotatePoints must give for p.
TEST(ImageOrientation, PointsMapWhereTheWarpSampled) {
  cv::Mat source(240, 250, CV_8U);
  for (int c = 0; c < source.cols; ++c) source.col(c).setTo(c);
  const cv::Mat K = (cv::Mat_<double>(3, 3) << 300, 0, 125, 0, 300, 120, 0, 0, 1);
  cv::Mat warped = source.clone();
  extrinsic::rotateImage(warped, pairRotation().t(), K);
  int compared = 0;
  for (int y = 0; y < warped.rows; y += 7) {
    for (int x = 0; x < warped.cols; x += 7) {
      std::vector<cv::Point2f> p{cv::Point2f(static_cast<float>(x), static_cast<float>(y))};
      extrinsic::rotatePoints(pairRotation().t(), p, K);
      if (p[0].x < 1 || p[0].x > 248 || p[0].y < 1 || p[0].y > 238) continue;
      EXPECT_NEAR(warped.at<uchar>(y, x), p[0].x, 1.0) << x << "," << y;
      ++compared;
    }
  }
  EXPECT_GT(compared, 300);
  // The first view of a pair turns 30 degrees toward its +x side.
  std::vector<cv::Point2f> centre{{1800, 1800}};
  extrinsic::rotatePoints(pairRotation().t(), centre, targetCameraMatrix());
  EXPECT_NEAR(centre[0].x, 1800 + 550 * std::tan(CV_PI / 6), 0.01);
}

TEST(DenseFlowMatches, FollowAKnownShiftOnTheGridOfTheStrip) {
  // Texture at several scales, so that the flow has structure to follow at every level.
  cv::Mat sum = cv::Mat::zeros(420, 220, CV_32F), scene;
  for (int scale : {2, 5, 13}) {
    cv::Mat coarse(420 / scale + 2, 220 / scale + 2, CV_32F), fine;
    cv::randu(coarse, 0.f, 1.f);
    cv::resize(coarse, fine, cv::Size(), scale, scale, cv::INTER_CUBIC);
    sum += fine(cv::Rect(0, 0, 220, 420));
  }
  sum.convertTo(scene, CV_8U, 80.0);
  // Width 200: the strip starts at column 70 and is 60 wide. The second image shows the
  // scene moved by (+6, +3) pixels.
  std::vector<cv::Point2f> pts1, pts2;
  extrinsic::matchesFromDenseOpticalFlow(scene(cv::Rect(10, 10, 200, 400)).clone(),
                                                     scene(cv::Rect(4, 7, 200, 400)).clone(), pts1, pts2);
  ASSERT_TRUE(pts1.size() > 700u && pts2.size() == pts1.size());
  std::vector<float> errors;
  for (std::size_t k = 0; k < pts1.size(); ++k) {
    EXPECT_EQ(static_cast<int>(pts1[k].x - 70) % 5 + static_cast<int>(pts1[k].y) % 5, 0);
    EXPECT_TRUE(pts2[k].x > 70 && pts2[k].x < 129 && pts2[k].y > 0 && pts2[k].y < 399) << pts2[k];
    errors.push_back(static_cast<float>(cv::norm(pts2[k] - pts1[k] - cv::Point2f(6, 3))));
  }
  std::nth_element(errors.begin(), errors.begin() + errors.size() / 2, errors.end());
  EXPECT_LT(errors[errors.size() / 2], 0.1f);
}

// Re-measured flow samples: each case makes a first view, a second that shows it moved by
// (2.37, -1.61) px through another gain, offset and a brightness ramp (vignetting, 1 % over
// a patch), and flow samples on the flow's grid that land 0.6 px off. Texture lands on the
// true shift, also where the second view is stretched 12 % along x and sheared (a surface
// seen obliquely, the flow telling how); a pattern that repeats along x (the baseline), a
// plain view, a landing 3 px off and an unused sample are not kept.
TEST(MatchRefinement, LandsOnTheTrueShiftAndRefusesWhatItCannotPinDown) {
  const cv::Point2f shift(2.37f, -1.61f);
  const auto texture = [] {
    cv::Mat noise(300, 200, CV_32F), smooth;
    cv::RNG(12).fill(noise, cv::RNG::UNIFORM, 0.f, 255.f);
    cv::GaussianBlur(noise, smooth, cv::Size(), 1.5);
    return smooth;
  };
  // One 11-px-wide strip of the texture, tiled along x: textured both ways, yet every 11 px
  // along the baseline the same.
  const auto tiles = [&texture] {
    const cv::Mat source = texture();
    cv::Mat tiled(source.size(), CV_32F);
    for (int x = 0; x < tiled.cols; ++x) source.col(x % 11).copyTo(tiled.col(x));
    return tiled;
  };
  struct Case {
    const char* name;
    cv::Mat scene;
    float landingError;  // px, along x, of the flow's landing point
    bool used;
    bool kept;
    cv::Matx22f stretch = cv::Matx22f::eye();  // second view's offsets per first view's
  };
  const std::vector<Case> cases = {{"texture", texture(), 0.6f, true, true},
                                   {"stretched", texture(), 0.6f, true, true, {1.12f, 0.06f, 0.0f, 1.0f}},
                                   {"tiles", tiles(), 0.6f, true, false},
                                   {"plain", cv::Mat(300, 200, CV_32F, cv::Scalar(120)), 0.6f, true, false},
                                   {"far off", texture(), 3.0f, true, false},
                                   {"unused", texture(), 0.6f, false, false}};
  for (const Case& c : cases) {
    cv::Mat first, moved, second;
    c.scene.convertTo(first, CV_8U);
    const cv::Matx22f& a = c.stretch;
    const cv::Mat move = (cv::Mat_<double>(2, 3) << a(0, 0), a(0, 1), shift.x, a(1, 0), a(1, 1), shift.y);
    cv::warpAffine(c.scene, moved, move, c.scene.size(), cv::INTER_CUBIC, cv::BORDER_REFLECT);
    cv::Mat ramp(moved.size(), CV_32F);
    for (int x = 0; x < ramp.cols; ++x) ramp.col(x).setTo(1.15 - 0.15 * x / ramp.cols);
    cv::Mat lit = moved.mul(ramp) * 0.9 + 12.0;
    lit.convertTo(second, CV_8U);
    std::vector<cv::Point2f> from, to;
    std::vector<cv::Point2f> truth;
    for (int y = 60; y < 240; y += 5) {
      for (int x = 60; x < 140; x += 5) {
        from.emplace_back(x, y);
        truth.push_back(a * cv::Point2f(x, y) + shift);
        to.push_back(truth.back() + cv::Point2f(c.landingError, 0.0f));
      }
    }
    const std::vector<unsigned char> use(from.size(), c.used ? 1 : 0);
    const extrinsic::RefinedSamples refined = extrinsic::refineSamples(first, second, cv::Range(0, 200), from, to, use);
    ASSERT_EQ(refined.kept.size(), from.size()) << c.name;
    for (std::size_t k = 0; k < from.size(); ++k) {
      EXPECT_EQ(refined.kept[k] != 0, c.kept) << c.name << " " << from[k];
      if (c.kept) {
        EXPECT_LT(cv::norm(refined.warped2[k] - truth[k]), 0.1) << c.name << " " << from[k];
      } else {
        EXPECT_EQ(refined.warped2[k], to[k]) << c.name;
      }
    }
  }
}

// Runs poseFromMatches for pair (1, 2) and returns what it printed.
std::string poseFromMatches(const std::vector<cv::Point2f>& pts1, const std::vector<cv::Point2f>& pts2,
                            int expectedCode, extrinsic::PairSolution& solution) {
  CoutCapture out;
  solution = extrinsic::poseFromMatches(1, 2, pts1, pts2, preparedViews());
  EXPECT_EQ(solution.code, expectedCode);
  return out.text();
}

TEST(PairPose, RecoversARingPairAndPrintsTheDiagnostics) {
  const RingPairScene scene = makeRingPairScene(RingPairOptions());
  extrinsic::PairSolution solution;
  const std::string out = poseFromMatches(scene.pts1, scene.pts2, 0, solution);
  ASSERT_TRUE(solution.fit && solution.estimate);
  const cv::Matx33d& R = solution.estimate->pose.R;
  const cv::Vec3d& t = solution.estimate->pose.t;
  EXPECT_EQ(solution.fit->inliers.size(), scene.pts1.size());
  EXPECT_LT(rig::rotationErrorDeg(R, scene.R), 0.05);
  EXPECT_LT(rig::directionErrorDeg(t, scene.t), 0.5);  // 0.0074 measured
  EXPECT_EQ(out.rfind("pts1.size, pts2.size: 3000 3000\nF \n", 0), 0u) << out;
  // The angles are R's triple in degrees: about 60 about y, with R(0,2)'s sign reversed.
  double x = 0, y = 0;
  std::istringstream(out.substr(out.find("R: ") + 3)) >> x >> y;
  EXPECT_NEAR(y, -std::asin(R(0, 2)) * 180 / CPose::PI, 1e-4);
}

TEST(PairPose, UnusableEstimatesFailInOneLineNamingThePair) {
  const RingPairScene scene = makeRingPairScene(RingPairOptions());
  std::vector<cv::Point2f> oneInfinite = scene.pts2, halfInfinite = scene.pts2;
  const float infinity = std::numeric_limits<float>::infinity();
  oneInfinite[7].x = infinity;  // a warp's w = 0
  for (std::size_t k = 0; k < halfInfinite.size(); k += 2) halfInfinite[k].x = infinity;
  const struct {
    std::vector<cv::Point2f> pts1, pts2;
    std::string cause;
  } cases[] = {{std::vector<cv::Point2f>(150, {1000, 1200}), std::vector<cv::Point2f>(150, {1100, 1200}),
                "no fundamental matrix fits the 150 correspondences"},
               {scene.pts1, oneInfinite, "the estimated pose is not finite"},
               {scene.pts1, halfInfinite, "the pose step found no usable pose"}};
  for (const auto& c : cases) {
    extrinsic::PairSolution solution;
    const std::string out = poseFromMatches(c.pts1, c.pts2, 9, solution);
    const std::string line = "extrinsic calibration of pair 1-2 failed: " + c.cause + "\n";
    EXPECT_EQ(out.substr(out.size() - std::min(out.size(), line.size())), line);
    EXPECT_FALSE(solution.estimate);
  }
}

TEST(PairPose, ImageLibraryErrorNamesThePair) {
  // The flow takes one channel only; a colour view makes the library raise its error.
  const cv::Mat colour(200, 200, CV_8UC3, cv::Scalar(10, 20, 30)), K = targetCameraMatrix();
  CoutCapture out;
  const extrinsic::PairSolution solution = extrinsic::solvePair(2, 3, colour, colour, K, K);
  EXPECT_EQ(solution.code, 9);
  EXPECT_FALSE(solution.matches);
  EXPECT_TRUE(std::regex_match(out.text(), std::regex("extrinsic calibration of pair 2-3 failed: image library "
                                                      "error: [^\n]+\n")))
      << out.text();
}

// A stored pose moved when it explains the correspondences clearly worse than the fresh pose,
// measured in their own noise, and turned away by more than the floor: a turn lost in noisy
// correspondences holds, the same turn in clean ones has moved.
TEST(PairCheck, AStoredPoseMovedWhenItExplainsTheCorrespondencesWorse) {
  const struct {
    double noisePixels, turnDeg;
    bool moved;
  } cases[] = {{0.3, 0.0, false}, {0.01, 0.02, false}, {0.3, 0.1, true}, {2.0, 0.1, false}, {2.0, 0.5, true}};
  for (const auto& c : cases) {
    RingPairOptions options;
    options.noisePixels = c.noisePixels;
    const RingPairScene scene = makeRingPairScene(options);
    const rig::PairPose truth{cv::Matx33d(scene.R), cv::Vec3d(scene.t)};
    cv::Matx33d turn;
    cv::Rodrigues(cv::Vec3d(2.0, 1.0, -2.0) / 3.0 * (c.turnDeg * CV_PI / 180.0), turn);
    const report::PairCheck check =
        check::checkPair({turn * truth.R, truth.t}, truth, scene.pts1, scene.pts2, preparedViews());
    EXPECT_EQ(check.moved, c.moved) << c.noisePixels << " px, " << c.turnDeg << " deg: " << check.storedErrorPx << " / "
                                    << check.freshErrorPx;
    EXPECT_NEAR(check.rotationDeg, c.turnDeg, 1e-9);
    EXPECT_NEAR(check.directionDeg, 0.0, 1e-9);
  }
}

}  // namespace
}  // namespace ringcalib::test
