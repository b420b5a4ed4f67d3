#include <cmath>
#include <iostream>
#include <random>
#include <cstdio>
#include <sstream>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>

#include "calibration/video_calibration.h"

namespace {

using ImageViews = std::vector<std::vector<cv::Point2f>>;
using BoardViews = std::vector<std::vector<cv::Point3f>>;

const cv::Size kFrame(3200, 2400);

std::vector<cv::Point3f> boardModel() {
  std::vector<cv::Point3f> model;
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 9; ++x) model.emplace_back(static_cast<float>(x), static_cast<float>(y), 0);
  }
  return model;
}

struct Camera {
  cv::Matx33d K;
  cv::Vec4d D;
};

// A fisheye camera of the rig's kind, drawn from the seed.
Camera randomCamera(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double f = 825.0 + 25.0 * u(rng);
  return {cv::Matx33d(f, 0, 1600 + 20 * u(rng), 0, f * (1 + 0.002 * u(rng)), 1200 + 20 * u(rng),
                      0, 0, 1),
          cv::Vec4d(0.03 + 0.02 * u(rng), -0.01 + 0.01 * u(rng), 0.004 * u(rng),
                    0.001 * u(rng))};
}

// `count` views of the board at varied poses in front of the camera, with Gaussian noise
// of `noise` pixels on every corner.
ImageViews syntheticViews(const Camera& camera, int count, double noise, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::normal_distribution<double> n(0.0, noise);
  ImageViews views;
  for (int v = 0; v < count; ++v) {
    const cv::Vec3d rotation(0.6 * u(rng), 0.6 * u(rng), 0.4 * u(rng));
    const cv::Vec3d translation(-4 + 5 * u(rng), -5.5 + 5 * u(rng), 10.5 + 1.5 * u(rng));
    std::vector<cv::Point2f> corners;
    cv::fisheye::projectPoints(boardModel(), corners, rotation, translation, camera.K, camera.D);
    for (cv::Point2f& c : corners) c += cv::Point2f(float(n(rng)), float(n(rng)));
    views.push_back(corners);
  }
  return views;
}

// Runs the solve with standard output captured.
struct SolveRun {
  int code;
  std::string out;
  cv::Matx33d K;
  cv::Vec4d D;
};

SolveRun solve(const ImageViews& imagePoints, const BoardViews& objectPoints, int camera = 2) {
  std::ostringstream captured;
  captured.copyfmt(std::cout);
  std::streambuf* const original = std::cout.rdbuf(captured.rdbuf());
  VideoCalibration calibration;
  SolveRun run{0, "", cv::Matx33d::zeros(), cv::Vec4d::all(0)};
  run.code = calibration.runFisheyeCalibration2(imagePoints, objectPoints, camera, 0, kFrame,
                                                run.K, run.D);
  std::cout.rdbuf(original);
  run.out = captured.str();
  return run;
}

void expectCloseTo(const Camera& truth, const SolveRun& run, double pixels) {
  EXPECT_NEAR(run.K(0, 0), truth.K(0, 0), pixels);
  EXPECT_NEAR(run.K(1, 1), truth.K(1, 1), pixels);
  EXPECT_NEAR(run.K(0, 2), truth.K(0, 2), pixels);
  EXPECT_NEAR(run.K(1, 2), truth.K(1, 2), pixels);
  EXPECT_EQ(run.K(0, 1), 0.0);  // skew fixed
}

TEST(FisheyeSolve, RecoversTheCameraFromNoisyViews) {
  for (unsigned seed = 1; seed <= 3; ++seed) {
    std::mt19937 rng(seed);
    const Camera truth = randomCamera(rng);
    const ImageViews views = syntheticViews(truth, 25, 0.2, rng);
    const SolveRun run = solve(views, BoardViews(views.size(), boardModel()));
    ASSERT_EQ(run.code, 0) << run.out;
    SCOPED_TRACE("seed " + std::to_string(seed));
    expectCloseTo(truth, run, 1.0);
  }
}

TEST(FisheyeSolve, PrintsKThroughTheMatrixFormatterAndDInTheStreamsFormat) {
  std::mt19937 rng(7);
  const Camera truth = randomCamera(rng);
  const ImageViews views = syntheticViews(truth, 22, 0.2, rng);
  std::cout << std::fixed;  // as the driver leaves it after its first progress line
  const SolveRun run = solve(views, BoardViews(views.size(), boardModel()));
  std::cout.unsetf(std::ios::floatfield);
  ASSERT_EQ(run.code, 0) << run.out;
  std::istringstream lines(run.out);
  std::string line[6];
  for (std::string& l : line) std::getline(lines, l);
  EXPECT_EQ(line[0], "fisheye K");
  // The matrix formatter keeps its own full precision, whatever the stream's notation.
  double fx = 0, cx = 0, fy = 0, cy = 0;
  EXPECT_EQ(std::sscanf(line[1].c_str(), "[%lf, 0, %lf;", &fx, &cx), 2) << line[1];
  EXPECT_EQ(std::sscanf(line[2].c_str(), " 0, %lf, %lf;", &fy, &cy), 2) << line[2];
  EXPECT_NEAR(fx, run.K(0, 0), 1e-9);
  EXPECT_NEAR(cy, run.K(1, 2), 1e-9);
  EXPECT_EQ(line[3], " 0, 0, 1]");
  EXPECT_EQ(line[4], "fisheye D");
  std::string expected = "[";
  for (int i = 0; i < 4; ++i) {
    char fixed[64];
    std::snprintf(fixed, sizeof fixed, "%.6f", run.D[i]);
    expected += std::string(i > 0 ? ", " : "") + fixed;
  }
  EXPECT_EQ(line[5], expected + "]");
  EXPECT_TRUE(lines.get() == EOF && lines.eof()) << run.out;
}

TEST(FisheyeSolve, LeavesOutViewsTheLibraryCannotStartFrom) {
  std::mt19937 rng(11);
  const Camera truth = randomCamera(rng);
  ImageViews images = syntheticViews(truth, 21, 0.2, rng);
  BoardViews boards(images.size(), boardModel());
  const std::vector<cv::Point2f> full = images[3];
  const std::vector<cv::Point3f> model = boardModel();
  // An empty view, a view of four corners and one of a single board row.
  images[0].clear();
  boards[0].clear();
  images[1] = {full[0], full[1], full[9], full[10]};
  boards[1] = {model[0], model[1], model[9], model[10]};
  images[2].assign(full.begin(), full.begin() + 9);
  boards[2].assign(model.begin(), model.begin() + 9);
  const SolveRun run = solve(images, boards);
  ASSERT_EQ(run.code, 0) << run.out;
  expectCloseTo(truth, run, 1.0);
  EXPECT_EQ(run.out.find("left out"), std::string::npos) << run.out;
}

// The board as if seen from very far: all corners within a hundredth of a pixel. The
// library reports the view's pose as ill-conditioned.
void makeIllConditioned(std::vector<cv::Point2f>& image) {
  const cv::Point2f centre = image[50];
  for (cv::Point2f& corner : image) corner = centre + (corner - centre) * 1e-5f;
}

TEST(FisheyeSolve, DropsIllConditionedViewsWhileTwentyRemain) {
  std::mt19937 rng(5);
  const Camera truth = randomCamera(rng);
  ImageViews images = syntheticViews(truth, 22, 0.2, rng);
  BoardViews boards(images.size(), boardModel());
  images[0].clear();  // not handed to the solve, so the library's numbering shifts by one
  boards[0].clear();
  makeIllConditioned(images[4]);
  makeIllConditioned(images[9]);
  // 22 views: two dropped, 20 remain.
  const SolveRun run = solve(images, boards);
  ASSERT_EQ(run.code, 0) << run.out;
  expectCloseTo(truth, run, 1.0);
  EXPECT_EQ(run.out.substr(0, run.out.find("fisheye K")),
            "camera 2: view 4 is ill-conditioned and is left out of the fisheye solve\n"
            "camera 2: view 9 is ill-conditioned and is left out of the fisheye solve\n");
}

TEST(FisheyeSolve, FailsWhenFewerThanTwentyViewsRemain) {
  std::mt19937 rng(6);
  const Camera truth = randomCamera(rng);
  ImageViews images = syntheticViews(truth, 20, 0.2, rng);
  BoardViews boards(images.size(), boardModel());
  makeIllConditioned(images[13]);
  const SolveRun run = solve(images, boards, 5);
  EXPECT_EQ(run.code, 9);
  EXPECT_EQ(run.out,
            "camera 5: view 13 is ill-conditioned and is left out of the fisheye solve\n"
            "fisheye calibration of camera 5 failed: 19 views left, 20 needed\n");
}

TEST(FisheyeSolve, OtherLibraryErrorsFailInOneLine) {
  std::mt19937 rng(8);
  const Camera truth = randomCamera(rng);
  ImageViews images = syntheticViews(truth, 20, 0.2, rng);
  BoardViews boards(images.size(), boardModel());
  boards[6].pop_back();  // 108 image points, 107 board points
  const SolveRun run = solve(images, boards, 1);
  EXPECT_EQ(run.code, 9);
  EXPECT_EQ(run.out.rfind("fisheye calibration of camera 1 failed: image library error: ", 0), 0u)
      << run.out;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);

  ImageViews none(20);
  const SolveRun empty = solve(none, BoardViews(20));
  EXPECT_EQ(empty.code, 9);
  EXPECT_EQ(empty.out,
            "fisheye calibration of camera 2 failed: no view has five corners off one line "
            "inside the central circle\n");
}

}  // namespace
