// The steps of the intrinsic job: board detection and its checks, the central corner
// selection, the fisheye solve, the frame reader, the cheap test's back-off, and the
// concurrent examination of the cameras, which must examine the frames one thread examines.
#include <chrono>
#include <filesystem>
#include <random>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "calibration/intrinsic/back_off.h"
#include "calibration/intrinsic/board_detection.h"
#include "calibration/intrinsic/camera_examination.h"
#include "calibration/intrinsic/camera_workers.h"
#include "calibration/intrinsic/corner_selection.h"
#include "calibration/intrinsic/field_solve.h"
#include "calibration/intrinsic/fisheye_solve.h"
#include "calibration/intrinsic/frame_reader.h"
#include "calibration/intrinsic/frame_scale.h"
#include "rig/lens_field.h"
#include "tests/support/board_images.h"
#include "tests/support/test_support.h"
#include "tools/board_renderer.h"
#include "tools/camera_draw.h"

namespace ringcalib::test {
namespace {

TEST(BoardDetection, AcceptsClearBoardsAtFullSizeAndRejectsFaintOrMissingOnes) {
  const struct {
    double turn, tilt;
    uchar light, dark;  // a corner contrast of about 0.11 for 100 / 40, 0.08 for 100 / 60; bound 0.1
    bool accepted;
  } cases[] = {{-12, 0, 210, 40, true}, {-12, 25, 210, 40, true}, {-12, -35, 210, 40, true},
               {8, 25, 100, 40, true},  {8, 25, 100, 60, false},  {8, 25, 25, 25, false}};
  for (const auto& c : cases) {
    const cv::Matx33d toImage = boardToImage({1700, 1150}, 110.0, c.turn, c.tilt);
    std::vector<cv::Point2f> corners;
    cv::Mat gray = renderBoard(cv::Size(3200, 2400), toImage, c.light, c.dark);
    ASSERT_EQ(intrinsic::BoardDetector().detectCorners(gray, corners, cv::Size(9, 12)), c.accepted) << c.tilt << " " << +c.dark;
    const std::vector<cv::Point2f> truth = boardCorners(toImage);
    for (std::size_t i = 0; c.accepted && i < truth.size(); ++i) EXPECT_LT(cv::norm(corners[i] - truth[i]), 0.25);
  }
}

// The search's reduction and the windows follow the frame: today's values at 3200 x 2400.
TEST(BoardDetection, WindowsFollowTheFrameSize) {
  const struct {
    cv::Size frame;
    double reduction;
    cv::Size searched;
    int subPixelHalf, contrastHalf;
  } cases[] = {{{3200, 2400}, 3.2, {1000, 750}, 15, 3},  {{1920, 1080}, 1.92, {1000, 562}, 9, 2},
               {{1920, 1208}, 1.92, {1000, 629}, 9, 2},  {{1600, 1200}, 1.6, {1000, 750}, 8, 2},
               {{1000, 1000}, 4.0 / 3.0, {750, 750}, 6, 2}, {{640, 480}, 1.0, {640, 480}, 5, 2}};
  for (const auto& c : cases) {
    const intrinsic::FrameScale scale(c.frame);
    EXPECT_EQ(scale.reduction, c.reduction) << c.frame;
    EXPECT_EQ(scale.searchSize, c.searched) << c.frame;
    EXPECT_EQ(scale.subPixelHalf, c.subPixelHalf) << c.frame;
    EXPECT_EQ(scale.contrastHalf, c.contrastHalf) << c.frame;
  }
}

// Generated boards of either polarity, any size, in frames of any size: found without being
// told the polarity, at the generator's true corners. An examiner starts with light squares;
// one per polarity sees its boards as a camera's frames, so the first printed board is found
// after a search the wrong way, the second the right way first (a search the wrong way fails
// slowly: 4 s at 640 x 480, 11 s at 1280 x 806). A circular fisheye's board 15 squares away
// (squares of a dozen pixels at 1280 x 800) is lost in the first look's reduced copy and
// found by the second look, at full size.
TEST(BoardDetection, FindsEitherPolarityAndAnyBoardAtTheTrueCorners) {
  using intrinsic::SampleOutcome;
  const struct {
    cv::Size frame, corners;
    bool printed;
    double circularDeg = 0.0;  // the field of a circular fisheye, 0 for a lens that fills the frame
    double distance = 9.0;
    SampleOutcome firstLook = SampleOutcome::kAccepted;
  } cases[] = {{{640, 480}, {9, 6}, true},  {{1280, 806}, {8, 6}, true},
               {{1600, 1200}, {9, 12}, false}, {{800, 600}, {8, 6}, false},
               {{1280, 800}, {9, 12}, false, 190.0, 15.0, SampleOutcome::kNotSeen}};
  intrinsic::BoardDetector examiners[2];  // light squares, printed
  for (const auto& c : cases) {
    const synth::CameraTruth camera =
        c.circularDeg > 0 ? synth::drawCircularCamera(2, 0, c.frame.width, c.frame.height, c.circularDeg)
                          : synth::drawCamera(5, 0, c.frame.width, c.frame.height, 1.0);
    const synth::FisheyeLens lens(camera.K, camera.D);
    synth::BoardPose pose{{1.0, -0.5, c.distance}, {0.97, 0.0, 0.24}, {0.0, 1.0, 0.0}, {c.corners.width + 1, c.corners.height + 1}};
    synth::BoardShading shading;
    shading.printed = c.printed;
    cv::Mat frame;
    cv::cvtColor(synth::renderBoardFrame(lens, synth::PixelRays(lens, c.frame), pose, c.frame, shading,
                                         synth::NoiseTile(5), 1),
                 frame, cv::COLOR_GRAY2BGR);
    std::vector<cv::Point2f> corners;
    ASSERT_EQ(examiners[c.printed].examineSample(frame, c.corners, corners), c.firstLook) << c.frame << " " << c.printed;
    // The second look finds the board whether or not the first told it the polarity.
    const auto printedAs = c.printed ? intrinsic::BoardPolarity::kDarkSquares : intrinsic::BoardPolarity::kLightSquares;
    std::optional<intrinsic::BoardPolarity> polarity;
    if (c.firstLook == SampleOutcome::kAccepted) polarity = printedAs;
    ASSERT_EQ(examiners[c.printed].lookAgain(frame, c.corners, polarity, corners), SampleOutcome::kAccepted)
        << c.frame << " " << c.printed;
    EXPECT_EQ(polarity, printedAs) << c.frame << " " << c.printed;
    const std::vector<cv::Vec3d> truth = synth::innerCorners(pose);
    ASSERT_EQ(corners.size(), truth.size());
    // The search lists the corners from either end of the board.
    if (cv::norm(cv::Point2d(corners.front()) - lens.project(truth.front())) > 5.0) {
      std::reverse(corners.begin(), corners.end());
    }
    for (std::size_t i = 0; i < truth.size(); ++i) {
      EXPECT_LT(cv::norm(cv::Point2d(corners[i]) - lens.project(truth[i])), 0.4) << c.frame << " corner " << i;
    }
  }
}

// Corner `bent` of row 4 of a grid seen in perspective, moved off the row by `degrees`.
std::vector<cv::Point2f> gridWithBentRow(double degrees, int bent = 5) {
  std::vector<cv::Point2f> corners = boardCorners(boardToImage({800, 600}, 40.0, 20.0, 30.0));
  const cv::Point2f previous = corners[36 + bent - 1], segment = corners[36 + bent] - previous;
  const float c = static_cast<float>(std::cos(degrees * CV_PI / 180));
  const float s = static_cast<float>(std::sin(degrees * CV_PI / 180));
  corners[36 + bent] = previous + cv::Point2f(segment.x * c - segment.y * s, segment.x * s + segment.y * c);
  return corners;
}

TEST(BoardDetection, RowsAndColumnsMustRunStraight) {
  std::vector<cv::Point2f> bentColumn = gridWithBentRow(0.0), short107 = bentColumn, long109 = bentColumn;
  bentColumn[6 * 9 + 2].x += 10.0f;  // about 14 degrees
  short107.pop_back();
  long109.push_back(long109.back());
  // acos(0.99), the bound, is 8.1 degrees.
  const std::pair<std::vector<cv::Point2f>, bool> cases[] = {
      {gridWithBentRow(0.0), true}, {gridWithBentRow(3.0), true},     {gridWithBentRow(9.0, 1), false},
      {gridWithBentRow(9.0), false}, {gridWithBentRow(9.0, 8), false}, {bentColumn, false},
      {short107, false},             {long109, false}};
  for (const auto& [corners, straight] : cases) EXPECT_EQ(intrinsic::testCorners(corners, 9, 12), straight);
}

TEST(CornerSelection, KeepsTheClosedCircleOfRadius1280AroundTheFrameCentre) {
  std::vector<std::vector<cv::Point2f>> images = {
      {{2880.0f, 1200.0f}, {2880.01f, 1200.0f}, {1600.0f, -80.0f}, {1600.0f, 2480.01f}, {2368.0f, 2224.0f}, {0, 0}},
      {{10.0f, 10.0f}}};
  std::vector<std::vector<cv::Point3f>> boards = {{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}},
                                                  {{0, 1, 0}}};
  intrinsic::selectCorners(images, boards, 3200, 2400);
  // Exactly 1280 to the right, up, and (768, 1024) away are kept; a view left empty stays.
  EXPECT_EQ(images[0], std::vector<cv::Point2f>({{2880.0f, 1200.0f}, {1600.0f, -80.0f}, {2368.0f, 2224.0f}}));
  EXPECT_EQ(boards[0], std::vector<cv::Point3f>({{0, 0, 0}, {2, 0, 0}, {4, 0, 0}}));
  ASSERT_EQ(images.size(), 2u);
  EXPECT_TRUE(images[1].empty() && boards[1].empty());
}

struct Views {
  cv::Matx33d K;
  cv::Vec4d D;
  std::vector<std::vector<cv::Point2f>> images;
  std::vector<std::vector<cv::Point3f>> boards;
  void drop(int view, std::size_t kept) { images[view].resize(kept), boards[view].resize(kept); }
  // The board as if seen from very far: the library reports the view as ill-conditioned.
  void shrink(int view) {
    for (cv::Point2f& p : images[view]) p = images[view][50] + (p - images[view][50]) * 1e-5f;
  }
};

// A camera of the rig's kind and `count` views of the board at varied poses, 0.2 px noise.
// The distortion terms beyond `distortionTerms` are 0.
Views syntheticViews(unsigned seed, int count, int distortionTerms = 4) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::normal_distribution<float> noise(0.0f, 0.2f);
  const double f = 825.0 + 25.0 * u(rng);
  Views views{cv::Matx33d(f, 0, 1600 + 20 * u(rng), 0, f * (1 + 0.002 * u(rng)), 1200 + 20 * u(rng), 0, 0, 1), {}, {}, {}};
  views.D = cv::Vec4d(0.03 + 0.02 * u(rng), -0.01 + 0.01 * u(rng), 0.004 * u(rng), 0.001 * u(rng));
  for (int k = distortionTerms; k < 4; ++k) views.D[k] = 0.0;
  const cv::Vec4d& D = views.D;
  std::vector<cv::Point3f> board;
  for (int i = 0; i < 108; ++i) board.emplace_back(static_cast<float>(i % 9), static_cast<float>(i / 9), 0.0f);
  for (int v = 0; v < count; ++v) {
    std::vector<cv::Point2f> corners;
    cv::fisheye::projectPoints(board, corners, cv::Vec3d(0.6 * u(rng), 0.6 * u(rng), 0.4 * u(rng)),
                               cv::Vec3d(-4 + 5 * u(rng), -5.5 + 5 * u(rng), 10.5 + 1.5 * u(rng)), views.K, D);
    for (cv::Point2f& c : corners) c += cv::Point2f(noise(rng), noise(rng));
    views.images.push_back(corners);
    views.boards.push_back(board);
  }
  return views;
}

// Solves camera `camera`; expects the truth's K when the solve succeeds. Returns the output.
std::string solve(const Views& views, int code, int camera = 2) {
  CoutCapture out;
  const Result<intrinsic::FisheyeSolution> solved =
      intrinsic::solveFisheye(views.images, views.boards, camera, cv::Size(3200, 2400));
  EXPECT_EQ(solved.code(), code);
  for (int i : {0, 2, 4, 5}) {
    EXPECT_TRUE(code != 0 || std::abs(solved.value().K.val[i] - views.K.val[i]) < 1.0) << solved.value().K;
  }
  return out.text();
}

// Views the library cannot start from (none, fewer than five corners, one board row) are
// left out unannounced; ill-conditioned ones one by one, while 20 views remain.
TEST(FisheyeSolve, RecoversTheCameraAndLeavesOutViewsItCannotUse) {
  Views sparse = syntheticViews(11, 23);
  sparse.drop(0, 0), sparse.drop(1, 4), sparse.drop(2, 9);
  const std::string sparseOut = solve(sparse, 0);
  for (const char* view : {": view 0 ", ": view 1 ", ": view 2 "}) EXPECT_EQ(sparseOut.find(view), std::string::npos);
  Views views = syntheticViews(5, 22);
  views.drop(0, 0);  // shifts the library's numbering by one
  views.shrink(4), views.shrink(9);
  const std::string out = solve(views, 0);
  EXPECT_EQ(out.substr(0, out.find("fisheye K")),
            "camera 2: view 4 is ill-conditioned and is left out of the fisheye solve\n"
            "camera 2: view 9 is ill-conditioned and is left out of the fisheye solve\n");
}

// The covariance of the solved intrinsics is their error's: over eight solves of views with
// 0.2 px noise, the errors of the camera matrix and of the distortion terms fitted over their
// sigma have a root mean square near 1 each. Terms held at 0 (as they are in the truth) are
// known: their rows and columns are 0, and the other terms' sigmas are those of a solve
// without them (with the held ones counted free, the distortion's come out 0.2-0.5).
TEST(FisheyeSolve, GivesTheIntrinsicsCovarianceOfTheirError) {
  for (const int terms : {4, 3, 2}) {
    double squares[2] = {0.0, 0.0};  // camera matrix, distortion
    for (unsigned seed = 20; seed < 28; ++seed) {
      const Views views = syntheticViews(seed, 20, terms);
      std::ostringstream out;
      const Result<intrinsic::FisheyeSolution> solved = intrinsic::solveFisheye(
          views.images, views.boards, 0, cv::Size(3200, 2400), out, nullptr, {intrinsic::DistortionTerms(terms), std::nullopt});
      ASSERT_EQ(solved.code(), 0);
      const cv::Matx33d& K = solved.value().K;
      const cv::Vec4d& D = solved.value().D;
      const std::optional<rig::LensCovariance>& C = solved.value().covariance;
      ASSERT_TRUE(C.has_value());
      const cv::Vec<double, 8> error(K(0, 0) - views.K(0, 0), K(1, 1) - views.K(1, 1), K(0, 2) - views.K(0, 2),
                                     K(1, 2) - views.K(1, 2), D[0] - views.D[0], D[1] - views.D[1],
                                     D[2] - views.D[2], D[3] - views.D[3]);
      for (int k = 0; k < 4 + terms; ++k) squares[k / 4] += error[k] * error[k] / (*C)(k, k);
      for (int k = 4 + terms; k < 8; ++k) {
        EXPECT_EQ(D[k - 4], 0.0) << terms;
        for (int j = 0; j < 8; ++j) EXPECT_TRUE((*C)(k, j) == 0.0 && (*C)(j, k) == 0.0) << terms;
      }
    }
    EXPECT_NEAR(std::sqrt(squares[0] / 32), 1.0, 0.35) << terms << " terms";
    EXPECT_NEAR(std::sqrt(squares[1] / (8 * terms)), 1.0, 0.35) << terms << " terms";
  }
}

TEST(FisheyeSolve, FailsInOneLineNamingTheCamera) {
  Views twenty = syntheticViews(6, 20);
  twenty.shrink(13);
  EXPECT_EQ(solve(twenty, 9, 5), "camera 5: view 13 is ill-conditioned and is left out of the fisheye solve\n"
                                 "fisheye calibration of camera 5 failed: 19 views left, 20 needed\n");
  Views mismatched = syntheticViews(8, 20);
  mismatched.boards[6].pop_back();  // 108 image points, 107 board points
  const std::string out = solve(mismatched, 9, 1);
  EXPECT_EQ(out.rfind("fisheye calibration of camera 1 failed: image library error: ", 0), 0u) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
}

// Where a model must hold (rig/lens_field.h): up to the frame's farthest corner or 100
// degrees, and the boards must reach the prepared views' 73 degrees or the nearest side.
TEST(LensField, FoldsInsideTheFrameAndTheAngleNeeded) {
  const struct {
    cv::Matx33d K;
    cv::Vec4d D;
    cv::Size frame;
    double foldDeg, neededDeg;  // fold not a number: none inside the field
  } cases[] = {
      // A generated camera: theta_d turns at 120 degrees, beyond the model's 100.
      {{843.0, 0, 1587, 0, 843.0, 1211, 0, 0, 1}, {0.0115, 0.0003, -0.0011, 0.00012}, {3200, 2400}, NAN, 73.0},
      // The 185-degree lens of a 1920 x 1208 frame solved from its central circle: turns at 83 degrees.
      {{695.8, 0, 960, 0, 699.9, 650.2, 0, 0, 1}, {-0.016, -0.070, 0.058, -0.018}, {1920, 1208}, 82.7, 47.0},
      // A 140-degree lens on 640 x 480 whose corners lie at 72 degrees: turning at 58 folds inside.
      {{335.5, 0, 345.2, 0, 335.3, 232.8, 0, 0, 1}, {0.02, -0.3, 0.2, -0.1}, {640, 480}, 58.0, 42.0},
      {{335.5, 0, 345.2, 0, 335.3, 232.8, 0, 0, 1}, {-0.026, -0.013, 0.014, -0.007}, {640, 480}, NAN, 40.4},
  };
  for (const auto& c : cases) {
    const rig::LensField field = rig::lensField({c.K, c.D, c.frame});
    EXPECT_EQ(field.folds(), !std::isnan(c.foldDeg)) << c.D;
    if (field.folds()) {
      EXPECT_NEAR(field.foldDeg, c.foldDeg, 0.1) << c.D;
    }
    EXPECT_NEAR(field.neededDeg, c.neededDeg, 0.1) << c.D;
  }
  EXPECT_NEAR(rig::preparedViewReach() * 180 / CV_PI, 73.0, 0.05);
}

// `count` boards of a 185-degree lens (fx 696) seen up to `reachDeg` off its axis, in a frame
// of `frame` with the principal point `margin` pixels right of and below the 1920 x 1208
// one's; corners with 0.2 px noise.
std::vector<std::vector<cv::Point2f>> lensViews(double reachDeg, int count, unsigned seed, cv::Size frame = {1920, 1208},
                                                cv::Point2d margin = {0, 0}) {
  const cv::Matx33d K(696, 0, 960 + margin.x, 0, 698, 604 + margin.y, 0, 0, 1);
  const rig::FisheyeLens lens(K, cv::Vec4d(0.02, -0.004, 0.001, -0.0002));
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::normal_distribution<float> noise(0.0f, 0.2f);
  std::vector<std::vector<cv::Point2f>> views;
  while (static_cast<int>(views.size()) < count) {
    // A 9 x 12 board of unit squares 9 units away, its middle `angle` off the axis, turned.
    const double angle = reachDeg * std::sqrt(u(rng)) * CV_PI / 180, azimuth = 2 * CV_PI * u(rng);
    const cv::Vec3d axis(std::sin(angle) * std::cos(azimuth), std::sin(angle) * std::sin(azimuth), std::cos(angle));
    cv::Matx33d turn;
    cv::Rodrigues(cv::Vec3d(0.5 * u(rng) - 0.25, 0.5 * u(rng) - 0.25, 0.0) +
                      cv::Vec3d(-axis[1], axis[0], 0) * angle / std::max(1e-9, std::hypot(axis[0], axis[1])),
                  turn);
    std::vector<cv::Point2f> corners;
    bool inside = true;
    for (int i = 0; i < 108 && inside; ++i) {
      const cv::Vec3d p = turn * cv::Vec3d(i % 9 - 4.0, i / 9 - 5.5, 0.0) + axis * 9.0;
      const double off = std::atan2(std::hypot(p[0], p[1]), p[2]) * 180 / CV_PI;
      const cv::Point2d q = lens.project(p);
      inside = off <= reachDeg && q.x >= 0 && q.y >= 0 && q.x < frame.width && q.y < frame.height;
      corners.push_back(cv::Point2f(q) + cv::Point2f(noise(rng), noise(rng)));
    }
    if (inside) views.push_back(corners);
  }
  return views;
}

// `count` small boards (30 units away) of the lens of lensViews in a 1920 x 1208 frame, their
// middles 72 to 78 degrees off the axis toward the frame's corners: corners up to 83 degrees.
std::vector<std::vector<cv::Point2f>> frameCornerViews(int count, unsigned seed) {
  const rig::FisheyeLens lens(cv::Matx33d(696, 0, 960, 0, 698, 604, 0, 0, 1), cv::Vec4d(0.02, -0.004, 0.001, -0.0002));
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::normal_distribution<float> noise(0.0f, 0.2f);
  const double diagonal = std::atan2(604.0, 960.0);
  std::vector<std::vector<cv::Point2f>> views;
  for (int k = 0; static_cast<int>(views.size()) < count; ++k) {
    const double azimuth = (k % 2 == 0 ? diagonal : CV_PI - diagonal) * (k % 4 < 2 ? 1 : -1) + 0.1 * (u(rng) - 0.5);
    const double angle = (75.0 + 6.0 * (u(rng) - 0.5)) * CV_PI / 180;
    const cv::Vec3d axis(std::sin(angle) * std::cos(azimuth), std::sin(angle) * std::sin(azimuth), std::cos(angle));
    cv::Matx33d turn;
    cv::Rodrigues(cv::Vec3d(0.5 * u(rng) - 0.25, 0.5 * u(rng) - 0.25, 0.0) +
                      cv::Vec3d(-axis[1], axis[0], 0) * 0.7 * angle / std::hypot(axis[0], axis[1]),
                  turn);
    std::vector<cv::Point2f> corners;
    for (int i = 0; i < 108; ++i) {
      const cv::Point2d q = lens.project(turn * cv::Vec3d(i % 9 - 4.0, i / 9 - 5.5, 0.0) + axis * 30.0);
      if (q.x < 0 || q.y < 0 || q.x >= 1920 || q.y >= 1208) break;
      corners.push_back(cv::Point2f(q) + cv::Point2f(noise(rng), noise(rng)));
    }
    if (corners.size() == 108) views.push_back(corners);
  }
  return views;
}

// The solve follows the lens: boards the detection accepted in the middle of the frame
// stand where their model holds to the edge and reaches as far off the axis as the stills
// are used (then the report gains nothing); where they fall short, the boards it found and
// rejected nearer the rim are solved with them, whatever the frame's width; boards that never
// leave the middle are refused with the camera and the angles named, and so are boards whose
// far views the solve had to leave out (ill-conditioned: each board seen as if from very far).
TEST(FieldSolve, FollowsTheLensToTheRimAndRefusesBoardsShortOfIt) {
  enum Rejected { kNone, kWide, kIllConditioned, kFrameCorners };
  const struct {
    double acceptedDeg;  // how far the accepted boards reach
    Rejected rejected;   // none, 10 reaching 88 degrees, those seen as if from very far, 12 small ones in the corners
    cv::Size frame;
    cv::Point2d margin;
    int code;
    const char* lines;
    double reachDeg;  // the least the solve's corners must reach
  } cases[] = {
      {88.0, kNone, {1920, 1208}, {0, 0}, 0, "^fisheye K", 60.0},
      // Four terms fitted within 40 degrees fold at about 62.
      {40.0, kWide, {1920, 1208}, {0, 0}, 0,
       "^camera 4: the central corners reach (3[0-9]|40)\\.[0-9] degrees off the axis, [0-9.]+ needed(; their model folds "
       "back at [0-9.]+ degrees, inside the field the frame shows)?: solved again from every corner of every board\n"
       "fisheye K",
       60.0},
      {40.0, kWide, {2400, 1510}, {240, 151}, 0, "^camera 4: the central corners reach (3[0-9]|40)\\.[0-9] degrees", 60.0},
      // From the library's own start every one of these would be left out as ill-conditioned.
      {40.0, kFrameCorners, {1920, 1208}, {0, 0}, 0, "solved again from every corner of every board\nfisheye K", 80.0},
      {40.0, kNone, {1920, 1208}, {0, 0}, 3,
       "\ncamera 4: the boards reach (3[0-9]|40)\\.[0-9] degrees off the axis, 4[0-9.]+ needed: nothing is written; record "
       "boards nearer the frame's edge\n$",
       0.0},
      {40.0, kIllConditioned, {1920, 1208}, {0, 0}, 3, "\ncamera 4: the boards reach (3[0-9]|40)\\.[0-9] degrees off the axis",
       0.0},
  };
  for (const auto& c : cases) {
    intrinsic::CameraViews views{lensViews(c.acceptedDeg, 30, 3, c.frame, c.margin), {}, {}};
    if (c.rejected == kWide || c.rejected == kIllConditioned) views.rejected = lensViews(88.0, 10, 4, c.frame, c.margin);
    if (c.rejected == kFrameCorners) views.rejected = frameCornerViews(12, 5);
    for (std::vector<cv::Point2f>& view : views.rejected) {
      if (c.rejected != kIllConditioned) break;
      const cv::Point2f centre(c.frame.width / 2.0f, c.frame.height / 2.0f);
      const cv::Point2f far = *std::max_element(view.begin(), view.end(), [&](const cv::Point2f& a, const cv::Point2f& b) {
        return cv::norm(a - centre) < cv::norm(b - centre);
      });
      for (cv::Point2f& p : view) p = far + (p - far) * 1e-5f;
    }
    std::ostringstream format;
    const intrinsic::CameraSolve solve = intrinsic::solveCamera(4, views, c.frame, {9, 12}, format, true);
    EXPECT_EQ(solve.code, c.code) << solve.output;
    EXPECT_TRUE(std::regex_search(solve.output, std::regex(c.lines))) << solve.output;
    ASSERT_TRUE(solve.record.intrinsic) << solve.output;
    const std::optional<report::FieldReport>& field = solve.record.intrinsic->field;
    EXPECT_EQ(field.has_value(), c.rejected != kNone || c.code != 0) << solve.output;
    if (field) {
      EXPECT_EQ(field->coveredDeg >= field->neededDeg, c.code == 0) << field->coveredDeg << " " << field->neededDeg;
      EXPECT_GE(field->coveredDeg, c.reachDeg) << solve.output;
    }
  }
}

void writeVideo(const std::string& path, const cv::Mat& first, int frames, int step = 0) {
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('m', 'p', '4', 'v'), 10.0, first.size());
  cv::Mat colour;
  cv::cvtColor(first, colour, cv::COLOR_GRAY2BGR);
  for (int i = 0; i < frames; ++i) writer << colour + cv::Scalar::all(step * i);
}

TEST(FrameReader, HandsOverFramesInOrderAndStopsWhenLeftEarly) {
  TempDir dir;
  writeVideo(dir.file("v.mp4"), cv::Mat(64, 96, CV_8UC1, cv::Scalar(0)), 10, 20);  // frame i is grey 20 i
  FrameReader reader(dir.file("v.mp4"), 4);
  reader.start(true);
  int frames = 0;
  for (VideoFrame frame = reader.next(); !frame.end; frame = reader.next()) {
    EXPECT_EQ(frame.sample, ++frames % 4 == 0);
    if (!frame.sample) continue;
    EXPECT_NEAR(frame.pixels.at<cv::Vec3b>(32, 48)[0], 20 * (frames - 1), 6) << frames;
    reader.decideNextSample(true);
  }
  EXPECT_EQ(frames, 10);
  FrameReader early(dir.file("v.mp4"), 4);
  early.start(true);
  EXPECT_FALSE(early.next().end);
}  // `early` waits for a decision that never comes: leaving must not hang

// After a failed cheap test the next three sampled frames are skipped, and the back-off runs
// on from the end of one folder's video of the camera into the next one.
TEST(CheapTestBackOff, CarriesOverFromOneVideoToTheNext) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("a")), std::filesystem::create_directories(dir.file("b"));
  writeVideo(dir.file("a/origin_0.mp4"), cv::Mat(600, 800, CV_8UC1, cv::Scalar(25)), 4);
  writeVideo(dir.file("b/origin_0.mp4"), renderBoard(cv::Size(800, 600), boardToImage({400, 300}, 40.0, 5.0)), 16);
  const RunResult run = runTool({"-w", "intrinsic", "-v", dir.file("a"), "-v", dir.file("b"), "-f", dir.file("p.json"),
                                 "-r", dir.file("report")});
  ASSERT_EQ(run.status, 3) << run.out;
  const auto report = nlohmann::json::parse(readFileBytes(dir.file("report/report.json")));
  EXPECT_EQ(report["cameras"][0]["intrinsic"]["frames_sampled"], 5);
  EXPECT_EQ(report["cameras"][0]["intrinsic"]["frames_passing_cheap_test"], 1);  // board frames 4, 8, 12 skipped
}

// The concurrent examination: whatever the order in which the cameras are examined and
// whatever state each camera's video ends in, the frames one thread examines.
using Corners = std::vector<std::vector<cv::Point2f>>;
const cv::Size kExaminedFrame(960, 720);

// Camera c's sampled frames (every fourth frame; the others are blank): 1 to 3 blank samples,
// four boards, then c % 5 blank samples. Camera 3 shows no board, so the counter it ends with
// depends on the one it starts with. One thread ends the cameras with the back-off counter at
// 0, 1, 2, 3, 4 and 0, and what each camera tests first depends on how the one before ended.
std::string samplePattern(int camera) {
  if (camera == 3) return std::string(5, '.');
  return std::string(1 + camera % 3, '.') + "BBBB" + std::string(camera % 5, '.');
}

void writeVideos(const std::string& folder) {
  for (int camera = 0; camera < rig::kCameras; ++camera) {
    cv::VideoWriter writer(intrinsic::videoPath(folder, camera), cv::CAP_FFMPEG,
                           cv::VideoWriter::fourcc('m', 'p', '4', 'v'), 30, kExaminedFrame, true);
    ASSERT_TRUE(writer.isOpened());
    int frame = 0;
    for (const char sample : samplePattern(camera)) {
      for (int k = 0; k < 4; ++k, ++frame) {
        // Each board stands a little elsewhere, so each view names its frame.
        const bool shown = sample == 'B' && k == 3;
        cv::Mat colour;
        cv::cvtColor(shown ? renderBoard(kExaminedFrame, boardToImage(cv::Point2d(480 + 2 * frame, 360 - frame), 44, frame))
                           : cv::Mat(kExaminedFrame, CV_8UC1, cv::Scalar(25)),
                     colour, cv::COLOR_GRAY2BGR);
        writer.write(colour);
      }
    }
  }
}

// What one thread finds: every fourth frame through fastCheck, in camera order.
std::vector<Corners> sequentialViews(const std::string& folder, std::vector<int>& passes,
                                   std::vector<int>& ends) {
  back_off::processCounter() = 0;
  intrinsic::BoardDetector detector;
  std::vector<Corners> views(rig::kCameras);
  passes.assign(rig::kCameras, 0);
  for (int camera = 0; camera < rig::kCameras; ++camera) {
    cv::VideoCapture capture(intrinsic::videoPath(folder, camera), cv::CAP_FFMPEG);
    cv::Mat frame;
    for (int read = 1; capture.read(frame); ++read) {
      if (read % 4 != 0 || !detector.fastCheck(frame, 9, 12)) continue;
      ++passes[camera];
      cv::Mat grey;
      cv::cvtColor(frame, grey, cv::COLOR_RGB2GRAY);
      std::vector<cv::Point2f> corners;
      if (detector.detectCorners(grey, corners, cv::Size(9, 12))) {
        views[camera].push_back(corners);
      }
    }
    ends.push_back(back_off::processCounter());
  }
  return views;
}

void expectSameViews(intrinsic::SharedCameras& shared, const std::vector<Corners>& expected,
                     const std::vector<int>& passes, const std::string& how) {
  for (int camera = 0; camera < rig::kCameras; ++camera) {
    const intrinsic::BackOffRun* run = intrinsic::runStartingWith(shared.cameras[camera], shared.start[camera]);
    ASSERT_NE(run, nullptr) << how << ", camera " << camera;
    EXPECT_EQ(run->cheapTestsPassed, passes[camera]) << how << ", camera " << camera;
    EXPECT_EQ(run->views, expected[camera]) << how << ", camera " << camera;
  }
}

TEST(CameraExamination, ExaminesTheFramesOneThreadExamines) {
  TempDir folder;
  writeVideos(folder.path());
  std::vector<int> passes;
  std::vector<int> ends;
  const std::vector<Corners> expected = sequentialViews(folder.path(), passes, ends);
  ASSERT_EQ(ends, (std::vector<int>{0, 1, 2, 3, 4, 0}));
  ASSERT_EQ(expected[2].size(), 4u);  // the boards are found where they are tested
  const std::vector<std::string> folders{folder.path()};
  const std::ostringstream format;

  // Last camera first: every camera but the first is examined before its start is known.
  {
    intrinsic::SharedCameras shared(rig::kCameras, 0);
    intrinsic::CameraExaminer examiner(folders, shared, false, format);
    for (int camera = rig::kCameras - 1; camera >= 0; --camera) examiner.examine(camera);
    expectSameViews(shared, expected, passes, "backwards");
    // The videos are made so that the start matters: some run of another start differs.
    int differing = 0;
    for (int camera = 1; camera < rig::kCameras; ++camera) {
      for (const intrinsic::BackOffRun& run : shared.cameras[camera].runs) {
        differing += run.views != expected[camera] ? 1 : 0;
      }
    }
    EXPECT_GT(differing, 5);
  }
  // Without a printing thread, the workers solve every camera: those whose views waited for
  // their start are solved by a worker with no camera left, from the views of that start.
  std::vector<int> cornersKept;
  for (int camera = 0; camera < rig::kCameras; ++camera) {
    cornersKept.push_back(
        intrinsic::solveCamera(camera, {expected[camera], {}, {}}, kExaminedFrame, cv::Size(9, 12), format, false).cornersKept);
  }
  for (const int threads : {1, 2, 6}) {
    cv::setNumThreads(threads);
    intrinsic::SharedCameras shared(rig::kCameras, 0);
    {
      intrinsic::CameraWorkers workers(folders, shared, false, format);
      std::unique_lock<std::mutex> lock(shared.mutex);
      ASSERT_TRUE(shared.changed.wait_for(lock, std::chrono::seconds(60), [&] {
        return std::all_of(shared.cameras.begin(), shared.cameras.end(), [](const intrinsic::CameraRecord& r) {
          return r.examined && !r.solving && r.solve.has_value();
        });
      })) << threads << " threads: a camera was left unsolved";
    }
    expectSameViews(shared, expected, passes, std::to_string(threads) + " threads");
    for (int camera = 0; camera < rig::kCameras; ++camera) {
      EXPECT_EQ(shared.cameras[camera].solve->cornersKept, cornersKept[camera]) << threads << " threads, camera " << camera;
    }
  }
}

}  // namespace
}  // namespace ringcalib::test
