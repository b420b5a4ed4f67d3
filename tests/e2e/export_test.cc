// ringcalib-export through its real clients, Hugin's pano_trafo and nona and OpenCV's fisheye
// stereo rectification, on the shared generated rig; and its refusal of bad input.
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>

#include "core/result_code.h"
#include "rig/pair_pose.h"
#include "rig/prepared_view.h"
#include "tests/support/rig_cache.h"
#include "tests/support/test_support.h"
#include "rig/parameter_document.h"
#include "tools/still_size.h"
#include "tools/truth_file.h"

namespace ringcalib::test {
namespace {

struct SharedRig {
  synth::RigTruth truth;
  std::string folder = sharedRig(truth);
  synth::GeometricPairs geometric = synth::readGeometricPairs(folder + "/truth.json");
  cv::Size still = exporting::stillSize(folder + "/image/origin_0.jpg");
};

const SharedRig& rig() {
  static const SharedRig shared;
  return shared;
}

RunResult exportRun(const std::vector<std::string>& args) {
  RunOptions options;
  options.program = RINGCALIB_EXPORT_EXE;
  return runTool(args, options);
}

int shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The generator's truth as a finished calibration, its poses in the file's convention; with
// `isotropic`, every lens has fy = fx, as Hugin's one focal length can hold it exactly.
std::string truthFile(const TempDir& dir, bool isotropic = false) {
  synth::RigTruth truth = rig().truth;
  for (synth::CameraTruth& camera : truth.cameras) camera.K(1, 1) = isotropic ? camera.K(0, 0) : camera.K(1, 1);
  rig::ParameterDocument document = synth::truthParameterDocument(truth);
  for (int n = 0; n < rig::kCameras; ++n) document.setPose(n, rig::toFileConvention(rig().geometric[n]));
  EXPECT_EQ(document.write(dir.file("params.json")), kSuccess);
  return dir.file("params.json");
}

// Pair n in the two cameras' sensor frames, from the generator's geometric pose of the
// prepared frames (X_p = Q X_s): X2 = R X1 + T.
cv::Matx33d sensorR(int n) { return rig::quarterTurn().t() * rig().geometric[n].R * rig::quarterTurn(); }
cv::Vec3d sensorT(int n) { return -(sensorR(n) * (rig::quarterTurn().t() * rig().geometric[n].t)); }

// Directions at infinity that both cameras of pair n see within `limitDeg` of their axes:
// their pixels in either still (lenses as `file` holds them), on a grid over the first.
void sharedDirections(const std::string& file, int n, double limitDeg, std::vector<cv::Point2d>& first,
                      std::vector<cv::Point2d>& second) {
  rig::ParameterDocument document;
  std::ifstream in;
  ASSERT_EQ(document.load(in, file), kSuccess);
  const rig::FisheyeLens lens1(document.camera(n).scaledToStill());
  const rig::FisheyeLens lens2(document.camera(rig::nextCamera(n)).scaledToStill());
  const cv::Rect inside(cv::Point(), rig().still);
  const double limit = std::cos(limitDeg * CV_PI / 180.0);
  for (int v = 50; v < rig().still.height; v += 100) {
    for (int u = 50; u < rig().still.width; u += 100) {
      cv::Vec3d ray1;
      if (!lens1.unproject(u, v, ray1) || ray1[2] < limit) continue;
      const cv::Vec3d ray2 = sensorR(n) * ray1;
      const cv::Point2d pixel2 = lens2.project(ray2);
      if (ray2[2] < limit || !inside.contains(pixel2)) continue;
      first.emplace_back(u, v);
      second.push_back(pixel2);
    }
  }
}

std::vector<cv::Point2d> panoramaPoints(const TempDir& dir, const std::string& project, int image,
                                        const std::vector<cv::Point2d>& pixels) {
  std::ofstream in(dir.file("in"));
  for (const cv::Point2d& pixel : pixels) in << cv::format("%.6f %.6f\n", pixel.x, pixel.y);
  in.close();
  EXPECT_EQ(shell("pano_trafo " + project + " " + std::to_string(image) + " <" + dir.file("in") + " >" +
                  dir.file("out")), 0);
  std::ifstream out(dir.file("out"));
  std::vector<cv::Point2d> points;
  for (cv::Point2d p; out >> p.x >> p.y;) points.push_back(p);
  return points;
}

double quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(q * (values.size() - 1))];
}

// The same direction seen by two neighbours lands on the same pixel of Hugin's panorama
// (4096 x 2048). Hugin's lens has one focal length: the generated lenses' fx and fy differ by
// up to 0.26 %, which a pair of lenses stretched in opposite senses turns into 0.7 px; the
// truth with fy = fx shows the conversion itself.
TEST(Export, hugin_truth) {
  const struct {
    bool isotropic;
    double median, p95;
  } cases[] = {{false, 0.8, 1.5}, {true, 0.25, 0.5}};
  for (const auto& c : cases) {
    TempDir dir;
    const std::string file = truthFile(dir, c.isotropic), project = dir.file("ring.pto");
    const RunResult run = exportRun({"-f", file, "-i", rig().folder + "/image", "--to", "hugin", "--out", project});
    ASSERT_EQ(run.status, kSuccess) << run.err;
    EXPECT_TRUE(std::regex_match(run.out, std::regex("(camera [0-5]: lens fit largest error [0-2]\\.[0-9]{3} px\n){6}")))
        << run.out;
    std::future<int> render;
    if (!c.isotropic) render = std::async(std::launch::async, [&] { return shell("nona -o " + dir.file("render") + " " + project); });
    for (int n = 0; n < rig::kCameras; ++n) {
      std::vector<cv::Point2d> first, second;
      sharedDirections(file, n, 75.0, first, second);
      ASSERT_GT(first.size(), 100u);
      const std::vector<cv::Point2d> seen1 = panoramaPoints(dir, project, n, first);
      const std::vector<cv::Point2d> seen2 = panoramaPoints(dir, project, rig::nextCamera(n), second);
      ASSERT_EQ(seen1.size(), first.size());
      ASSERT_EQ(seen2.size(), first.size());
      std::vector<double> apart;
      for (std::size_t i = 0; i < first.size(); ++i) {
        apart.push_back(std::hypot(std::remainder(seen1[i].x - seen2[i].x, 4096.0), seen1[i].y - seen2[i].y));
      }
      std::printf("isotropic %d pair %d median %.3f p95 %.3f\n", c.isotropic, n, quantile(apart, 0.5), quantile(apart, 0.95));
      EXPECT_LE(quantile(apart, 0.5), c.median) << "pair " << n;
      EXPECT_LE(quantile(apart, 0.95), c.p95) << "pair " << n;
    }
    if (c.isotropic) continue;
    EXPECT_EQ(render.get(), 0);
    for (int n = 0; n < rig::kCameras; ++n) {
      EXPECT_EQ(cv::imread(dir.file("render000" + std::to_string(n) + ".tif")).size(), cv::Size(4096, 2048)) << n;
    }
  }
}

// OpenCV's fisheye rectification of each exported pair: directions at infinity seen by both
// stills come out on the same row, and R, T are the generator's in the sensor frames.
TEST(Export, opencv_truth) {
  TempDir dir;
  const std::string file = truthFile(dir);
  const RunResult run = exportRun({"-f", file, "-i", rig().folder + "/image", "--to", "opencv", "--out", dir.file("pairs")});
  ASSERT_EQ(run.status, kSuccess) << run.err;
  EXPECT_EQ(run.out, "");
  for (int n = 0; n < rig::kCameras; ++n) {
    cv::FileStorage pair(dir.file("pairs/pair_" + std::to_string(n) + ".yaml"), cv::FileStorage::READ);
    ASSERT_TRUE(pair.isOpened());
    cv::Mat K1, D1, K2, D2, R, T;
    cv::Size size;
    pair["K1"] >> K1;
    pair["D1"] >> D1;
    pair["K2"] >> K2;
    pair["D2"] >> D2;
    pair["R"] >> R;
    pair["T"] >> T;
    pair["image_size"] >> size;
    EXPECT_EQ(size, rig().still);
    EXPECT_LE(rig::rotationErrorDeg(cv::Matx33d(R), sensorR(n)), 0.002) << n;
    EXPECT_LE(rig::directionErrorDeg(cv::Vec3d(T), sensorT(n)), 0.01) << n;
    EXPECT_NEAR(cv::norm(T), 1.0, 1e-12);
    cv::Mat R1, R2, P1, P2, Q;
    cv::fisheye::stereoRectify(K1, D1, K2, D2, size, R, T, R1, R2, P1, P2, Q, cv::CALIB_ZERO_DISPARITY);
    std::vector<cv::Point2d> first, second, rectified1, rectified2;
    sharedDirections(file, n, 60.0, first, second);
    cv::fisheye::undistortPoints(first, rectified1, K1, D1, R1, P1);
    cv::fisheye::undistortPoints(second, rectified2, K2, D2, R2, P2);
    double largest = 0.0;
    for (std::size_t i = 0; i < first.size(); ++i) largest = std::max(largest, std::abs(rectified1[i].y - rectified2[i].y));
    std::printf("pair %d largest vertical disparity %.4f px (f %.1f, %zu points)\n", n, largest, P1.at<double>(0, 0), first.size());
    EXPECT_LE(largest, 0.1) << "pair " << n;
  }
}

// A file without poses, a missing still or an unknown target: their codes, and nothing
// written. The last case is the same input complete, which does write.
TEST(Export, bad_input) {
  TempDir dir;
  synth::RigTruth truth;
  rig::ParameterDocument document;
  for (int n = 0; n < rig::kCameras; ++n) {
    truth.cameras[n] = {cv::Matx33d(20, 0, 16, 0, 20, 12, 0, 0, 1), cv::Vec4d(0.01, 0, 0, 0)};
    std::filesystem::create_directories(dir.file("stills"));
    if (n != 3) cv::imwrite(dir.file("stills/origin_" + std::to_string(n) + ".jpg"), cv::Mat::zeros(30, 40, CV_8U));
  }
  document = synth::truthParameterDocument(truth);
  document.write(dir.file("intrinsics.json"));
  for (int n = 0; n < rig::kCameras; ++n) document.setPose(n, {cv::Matx33d::eye(), cv::Vec3d(1, 0, 0)});
  document.write(dir.file("params.json"));
  const struct {
    const char* file;
    int still;  // the still written for camera 3, or not
    const char* target;
    int code;
  } cases[] = {{"intrinsics.json", 1, "hugin", kBadParameterFile}, {"intrinsics.json", 1, "opencv", kBadParameterFile},
               {"params.json", 0, "hugin", kImageMissing},           {"params.json", 0, "opencv", kImageMissing},
               {"params.json", 1, "pto", kCommandLineError},         {"absent.json", 1, "hugin", kCannotOpen},
               {"params.json", 1, "hugin", kSuccess},                {"params.json", 1, "opencv", kSuccess}};
  for (const auto& c : cases) {
    const std::string still = dir.file("stills/origin_3.jpg"), out = dir.file(std::string("out.") + c.target);
    if (c.still) cv::imwrite(still, cv::Mat::zeros(30, 40, CV_8U));
    else std::filesystem::remove(still);
    const RunResult run = exportRun({"-f", dir.file(c.file), "-i", dir.file("stills"), "--to", c.target, "--out", out});
    EXPECT_EQ(run.status, c.code) << c.file << " " << c.target << run.err;
    EXPECT_EQ(fileExists(out), c.code == kSuccess) << c.file << " " << c.target;
    EXPECT_EQ(fileExists(out + "/pair_5.yaml"), c.code == kSuccess && std::string(c.target) == "opencv");
  }
}

}  // namespace
}  // namespace ringcalib::test
