// ringcalib-export through its real clients, Hugin's pano_trafo and nona and OpenCV's fisheye
// stereo rectification, on the shared generated rig; and its refusal of bad input.
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>

#include "core/result_code.h"
#include "rig/parameter_document.h"
#include "rig/prepared_view.h"
#include "tests/support/rig_cache.h"
#include "tests/support/test_support.h"
#include "export/still_size.h"
#include "tools/truth_file.h"

namespace ringcalib::test {
namespace {

// A generated ring, its stills and its truth. The file's poses are of the standard rig's pose
// frames, or of the sensor frames ("pose_frame": "camera") for every other layout.
struct ExportedRig {
  synth::RigTruth truth;
  std::string folder;
  synth::GeometricPairs geometric;  // the frames' own poses: the prepared frames', or the sensor frames'
  cv::Size still;

  explicit ExportedRig(std::string (*render)(synth::RigTruth&))
      : folder(render(truth)),
        geometric(synth::readGeometricPairs(folder + "/truth.json")),
        still(exporting::stillSize(folder + "/image/origin_0.jpg")) {}
  int cameras() const { return static_cast<int>(truth.cameras.size()); }
  rig::PoseFrame frame() const { return truth.posesInCameraFrames ? rig::PoseFrame::kCamera : rig::PoseFrame::kPrepared; }
  // X_s = S X from the frames of `geometric` to the sensor frames (X_p = Q X_s for prepared frames).
  cv::Matx33d toSensor() const { return truth.posesInCameraFrames ? cv::Matx33d::eye() : rig::quarterTurn().t(); }
};

const ExportedRig& sharedStandardRig() {
  static const ExportedRig shared(sharedRig);
  return shared;
}

// Four cameras looking 30 degrees down through circular fisheyes of 190 degrees on 1280 x 800
// stills, as the real ring of four: stills only.
std::string renderRingOfFour(synth::RigTruth& truth) {
  synth::RigOptions options;
  options.seed = 7;
  options.videoWidth = 1280, options.videoHeight = 800, options.stillSize = cv::Size(1280, 800);
  options.videos = false;
  options.layout.cameras = 4, options.layout.tiltDegrees = -30.0, options.circularFieldDegrees = 190.0;
  return cachedRig(options, "seed7-ring4-tilt-30-circular190-1280x800-stills", truth);
}

const ExportedRig& ringOfFour() {
  static const ExportedRig ring(renderRingOfFour);
  return ring;
}

RunResult exportRun(const std::string& file, const std::string& stills, const std::string& to, const std::string& out) {
  RunOptions options;
  options.program = RINGCALIB_EXPORT_EXE;
  return runTool({"-f", file, "-i", stills, "--to", to, "--out", out}, options);
}

int shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The truth's lenses, with fy = fx if `isotropic` (as Hugin's one focal length holds them).
synth::RigTruth truthLenses(const ExportedRig& ring, bool isotropic) {
  synth::RigTruth truth = ring.truth;
  for (synth::CameraTruth& camera : truth.cameras) camera.K(1, 1) = isotropic ? camera.K(0, 0) : camera.K(1, 1);
  return truth;
}

// Pair n's true pose as the file holds it.
rig::PairPose filePose(const ExportedRig& ring, int n) {
  return ring.truth.posesInCameraFrames ? ring.geometric[n] : rig::toFileConvention(ring.geometric[n]);
}

// The truth as a finished calibration.
std::string truthFile(const ExportedRig& ring, const TempDir& dir, bool isotropic = false) {
  rig::ParameterDocument document = synth::truthParameterDocument(truthLenses(ring, isotropic));
  for (int n = 0; n < ring.cameras(); ++n) document.setPose(n, filePose(ring, n));
  document.setPoseFrame(ring.frame());
  EXPECT_EQ(document.write(dir.file("params.json")), kSuccess);
  return dir.file("params.json");
}

// Pair n between the sensor frames: X2 = R X1 + T.
cv::Matx33d sensorR(const ExportedRig& ring, int n) { return ring.toSensor() * ring.geometric[n].R * ring.toSensor().t(); }
cv::Vec3d sensorT(const ExportedRig& ring, int n) { return -(sensorR(ring, n) * (ring.toSensor() * ring.geometric[n].t)); }

// Pair n's rotation error in `file` against the truth, in degrees.
double poseErrorDeg(const ExportedRig& ring, const std::string& file, int n) {
  rig::ParameterDocument document;
  std::ifstream in;
  rig::PairPose pose;
  EXPECT_TRUE(document.load(in, file) == kSuccess && document.findPose(n, pose));
  return rig::rotationErrorDeg(pose.R, filePose(ring, n).R);
}

double quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(q * (values.size() - 1))];
}

// Directions at infinity that both cameras of pair n see within `limitDeg` of their axes:
// their pixels in either still, on a grid over the first (40 steps across).
void sharedDirections(const ExportedRig& ring, bool isotropic, int n, double limitDeg, std::vector<cv::Point2d>& first,
                      std::vector<cv::Point2d>& second) {
  const synth::RigTruth truth = truthLenses(ring, isotropic);
  const int next = rig::nextCamera(n, ring.cameras()), step = ring.still.width / 40;
  const rig::FisheyeLens lens1(truth.cameras[n].scaledToStill(truth.cameras[n].stillScale(ring.still))),
      lens2(truth.cameras[next].scaledToStill(truth.cameras[next].stillScale(ring.still)));
  for (int v = step / 2; v < ring.still.height; v += step) {
    for (int u = step / 2; u < ring.still.width; u += step) {
      cv::Vec3d ray1;
      const bool seen = lens1.unproject(u, v, ray1) && ray1[2] > std::cos(limitDeg * CV_PI / 180.0);
      const cv::Vec3d ray2 = sensorR(ring, n) * ray1;
      const cv::Point2d pixel2 = lens2.project(ray2);
      if (!seen || ray2[2] < std::cos(limitDeg * CV_PI / 180.0) || !cv::Rect(cv::Point(), ring.still).contains(pixel2)) continue;
      first.emplace_back(u, v);
      second.push_back(pixel2);
    }
  }
}

std::vector<cv::Point2d> panoramaPoints(const TempDir& dir, int image, const std::vector<cv::Point2d>& pixels) {
  std::ofstream in(dir.file("in"));
  for (const cv::Point2d& pixel : pixels) in << cv::format("%.6f %.6f\n", pixel.x, pixel.y);
  in.close();
  EXPECT_EQ(shell("pano_trafo " + dir.file("ring.pto") + " " + std::to_string(image) + " <" + dir.file("in") + " >" + dir.file("out")), 0);
  std::ifstream out(dir.file("out"));
  std::vector<cv::Point2d> points;
  for (cv::Point2d p; out >> p.x >> p.y;) points.push_back(p);
  EXPECT_EQ(points.size(), pixels.size());
  return points;
}

// The same direction seen by two neighbours lands on the same pixel of Hugin's 4096 x 2048
// panorama: median and 95th percentile in pixels, each widened by the pair's rotation error
// times `allowance` pixels per degree.
void expectSeams(const ExportedRig& ring, const TempDir& dir, const std::string& file, bool isotropic, double median,
                 double p95, double allowance) {
  const RunResult run = exportRun(file, ring.folder + "/image", "hugin", dir.file("ring.pto"));
  ASSERT_EQ(run.status, kSuccess) << run.err;
  const std::string fitLine = "camera [0-7]: lens fit largest error [0-2]\\.[0-9]{3} px\n";
  EXPECT_TRUE(std::regex_match(run.out, std::regex("(" + fitLine + "){" + std::to_string(ring.cameras()) + "}"))) << run.out;
  for (int n = 0; n < ring.cameras(); ++n) {
    std::vector<cv::Point2d> first, second;
    sharedDirections(ring, isotropic, n, 75.0, first, second);
    ASSERT_GT(first.size(), 100u);
    const std::vector<cv::Point2d> seen1 = panoramaPoints(dir, n, first),
                                   seen2 = panoramaPoints(dir, rig::nextCamera(n, ring.cameras()), second);
    std::vector<double> apart;
    for (std::size_t i = 0; i < std::min(seen1.size(), seen2.size()); ++i) {
      apart.push_back(std::hypot(std::remainder(seen1[i].x - seen2[i].x, 4096.0), seen1[i].y - seen2[i].y));
    }
    EXPECT_LE(quantile(apart, 0.5), median + allowance * poseErrorDeg(ring, file, n)) << "pair " << n;
    EXPECT_LE(quantile(apart, 0.95), p95 + allowance * poseErrorDeg(ring, file, n)) << "pair " << n;
  }
}

// OpenCV's fisheye rectification of each pair: directions at infinity seen by both stills
// come out on the same row (within `disparity` px, widened by what the pair's rotation error
// moves a point up to 60 degrees off the rectified axis: 4 x the error x the focal length);
// R and T are the generator's between the sensor frames.
void expectRectified(const ExportedRig& ring, const TempDir& dir, const std::string& file, double disparity,
                     double rotationDeg, double directionDeg) {
  ASSERT_EQ(exportRun(file, ring.folder + "/image", "opencv", dir.file("pairs")).status, kSuccess);
  EXPECT_FALSE(fileExists(dir.file("pairs/pair_" + std::to_string(ring.cameras()) + ".yaml")));
  for (int n = 0; n < ring.cameras(); ++n) {
    cv::FileStorage pair(dir.file("pairs/pair_" + std::to_string(n) + ".yaml"), cv::FileStorage::READ);
    cv::Mat K1 = pair["K1"].mat(), D1 = pair["D1"].mat(), K2 = pair["K2"].mat(), D2 = pair["D2"].mat();
    cv::Mat R = pair["R"].mat(), T = pair["T"].mat(), R1, R2, P1, P2, Q;
    cv::Size size;
    pair["image_size"] >> size;
    EXPECT_EQ(size, ring.still);
    EXPECT_LE(rig::rotationErrorDeg(cv::Matx33d(R), sensorR(ring, n)), rotationDeg) << n;
    EXPECT_LE(rig::directionErrorDeg(cv::Vec3d(T), sensorT(ring, n)), directionDeg) << n;
    EXPECT_NEAR(cv::norm(T), 1.0, 1e-12);
    cv::fisheye::stereoRectify(K1, D1, K2, D2, size, R, T, R1, R2, P1, P2, Q, cv::CALIB_ZERO_DISPARITY);
    std::vector<cv::Point2d> first, second, rectified1, rectified2;
    sharedDirections(ring, false, n, 60.0, first, second);
    cv::fisheye::undistortPoints(first, rectified1, K1, D1, R1, P1);
    cv::fisheye::undistortPoints(second, rectified2, K2, D2, R2, P2);
    double largest = 0.0;
    for (std::size_t i = 0; i < first.size(); ++i) largest = std::max(largest, std::abs(rectified1[i].y - rectified2[i].y));
    EXPECT_LE(largest, disparity + 4.0 * poseErrorDeg(ring, file, n) * CV_PI / 180.0 * P1.at<double>(0, 0)) << "pair " << n;
  }
}

// Hugin's lens has one focal length: the generated lenses' fx and fy differ by up to 0.26 %,
// which a pair stretched in opposite senses turns into a median of 0.7 px; the truth with
// fy = fx shows the conversion itself. nona renders the project.
TEST(Export, hugin_truth) {
  TempDir dir, isotropic;
  const ExportedRig& ring = sharedStandardRig();
  expectSeams(ring, dir, truthFile(ring, dir), false, 0.8, 1.5, 0.0);
  EXPECT_EQ(shell("nona -o " + dir.file("render") + " " + dir.file("ring.pto")), 0);
  for (int n = 0; n < ring.cameras(); ++n) {
    EXPECT_EQ(cv::imread(dir.file("render000" + std::to_string(n) + ".tif")).size(), cv::Size(4096, 2048)) << n;
  }
  expectSeams(ring, isotropic, truthFile(ring, isotropic, true), true, 0.25, 0.5, 0.0);
}

TEST(Export, opencv_truth) {
  TempDir dir;
  expectRectified(sharedStandardRig(), dir, truthFile(sharedStandardRig(), dir), 0.1, 0.002, 0.01);
}

// The tool's own calibration of the rig's stills (from the truth's intrinsics): the same
// figures, within the calibration's own error (in the panorama twice the pair's: the closure
// spread over the ring turns each camera by up to as much again).
TEST(Export, own_calibration) {
  TempDir dir;
  const ExportedRig& ring = sharedStandardRig();
  ASSERT_EQ(synth::truthParameterDocument(ring.truth).write(dir.file("own.json")), kSuccess);
  ASSERT_EQ(runTool({"-w", "extrinsic", "-i", ring.folder + "/image", "-f", dir.file("own.json")}).status, kSuccess);
  expectSeams(ring, dir, dir.file("own.json"), false, 0.8, 1.5, 2 * 4096 / 360.0);
  expectRectified(ring, dir, dir.file("own.json"), 0.1, 0.05, 0.5);
}

// A ring of four in camera frames, from its truth: the project has four images and its seams
// meet (the lenses with fy = fx; on stills of 4 px per degree, not 22, the lens fit's error
// weighs more in the panorama's 11 px per degree: 95 % within 0.36-0.48 px), and the four pair
// files rectify their stills.
TEST(Export, ring_of_four) {
  TempDir dir, pairs;
  const ExportedRig& ring = ringOfFour();
  ASSERT_EQ(ring.frame(), rig::PoseFrame::kCamera);
  expectSeams(ring, dir, truthFile(ring, dir, true), true, 0.25, 0.6, 0.0);
  expectRectified(ring, pairs, truthFile(ring, pairs), 0.1, 0.002, 0.01);
}

// What lies at `path`: a file's bytes, a folder's names and bytes, or nothing.
std::string contents(const std::string& path) {
  if (std::filesystem::is_regular_file(path)) return "file:" + readFileBytes(path);
  if (!std::filesystem::is_directory(path)) return "";
  std::string listing = "folder:";
  for (const auto& entry : std::filesystem::directory_iterator(path)) {
    listing += entry.path().filename().string() + "=" + contents(entry.path().string()) + ";";
  }
  return listing;
}

// A file without poses, files whose cameras are no ring's (two; origin_4 missing) or whose poses
// are of frames the tool does not know, a missing still, an unknown target, no file, poses whose values no
// ring holds (two rotations of entries 1e308), and outputs that cannot be written (an existing
// project without write permission, a folder given for a project, a missing folder, a set
// with a pair file without write permission): their codes and one line on standard error,
// and whatever was at --out is as it was, byte for byte; the same input complete does write.
TEST(Export, bad_input) {
  TempDir dir;
  synth::RigTruth truth;
  for (int n = 0; n < rig::kCameras; ++n) truth.cameras[n] = {cv::Matx33d(20, 0, 16, 0, 20, 12, 0, 0, 1), cv::Vec4d(0.01, 0, 0, 0), cv::Size(32, 24)};
  rig::ParameterDocument document = synth::truthParameterDocument(truth);
  document.write(dir.file("intrinsics.json"));
  for (int n = 0; n < rig::kCameras; ++n) document.setPose(n, {cv::Matx33d::eye(), cv::Vec3d(1, 0, 0)});
  document.write(dir.file("params.json"));
  for (const auto& [name, change] : std::initializer_list<std::pair<const char*, void (*)(nlohmann::json&)>>{
           {"two.json", [](nlohmann::json& file) { for (int n = 2; n < 6; ++n) file.erase("origin_" + std::to_string(n)); }},
           {"gap.json", [](nlohmann::json& file) { file["origin_6"] = file["origin_4"]; file.erase("origin_4"); }},
           {"frame.json", [](nlohmann::json& file) { file["pose_frame"] = "sensor"; }}}) {
    rig::ParameterDocument refused = document;
    change(refused.content());
    refused.write(dir.file(name));
  }
  for (int n : {0, 1}) document.setPose(n, {cv::Matx33d::ones() * 1e308, cv::Vec3d(1, 0, 0)});
  document.write(dir.file("far.json"));
  std::filesystem::create_directories(dir.file("stills"));
  for (int n = 0; n < 5; ++n) cv::imwrite(dir.file("stills/origin_" + std::to_string(n) + ".jpg"), cv::Mat::zeros(30, 40, CV_8U));
  const std::string last = dir.file("stills/origin_5.jpg");
  writeFileBytes(dir.file("kept.pto"), "an earlier project\n");
  std::filesystem::create_directories(dir.file("folder"));
  std::filesystem::create_directories(dir.file("kept"));
  writeFileBytes(dir.file("kept/pair_3.yaml"), "an earlier pair\n");
  for (const char* readOnly : {"kept.pto", "kept/pair_3.yaml"}) {
    std::filesystem::permissions(dir.file(readOnly), std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  }
  const struct {
    const char *file, *to;
    bool still;
    const char* out;
    int code;
  } cases[] = {{"intrinsics.json", "hugin", true, "out.pto", kBadParameterFile},
               {"two.json", "hugin", true, "out.pto", kBadParameterFile},
               {"gap.json", "opencv", true, "out", kBadParameterFile},
               {"frame.json", "opencv", true, "out", kBadParameterFile},
               {"params.json", "opencv", false, "out", kImageMissing},
               {"params.json", "pto", true, "out.pto", kCommandLineError},
               {"absent.json", "opencv", true, "out", kCannotOpen},
               {"far.json", "hugin", true, "out.pto", kComputationFailed},
               {"far.json", "opencv", true, "out", kComputationFailed},
               {"params.json", "hugin", true, "kept.pto", kCannotOpen},
               {"params.json", "hugin", true, "folder", kCannotOpen},
               {"params.json", "hugin", true, "missing/out.pto", kCannotOpen},
               {"params.json", "opencv", true, "kept", kCannotOpen},
               {"params.json", "hugin", true, "out.pto", kSuccess},
               {"params.json", "opencv", true, "out", kSuccess}};
  for (const auto& c : cases) {
    const std::string out = dir.file(c.out);
    const std::string before = contents(out);
    if (c.still) cv::imwrite(last, cv::Mat::zeros(30, 40, CV_8U));
    else std::filesystem::remove(last);
    const RunResult run = exportRun(dir.file(c.file), dir.file("stills"), c.to, out);
    EXPECT_EQ(run.status, c.code) << c.file << " " << c.to << " " << c.out << "\n" << run.err;
    if (c.code == kSuccess) {
      EXPECT_TRUE(fileExists(c.to == std::string("opencv") ? out + "/pair_5.yaml" : out)) << c.to;
      continue;
    }
    EXPECT_EQ(contents(out), before) << c.file << " " << c.to << " " << c.out;
    if (c.code == kCommandLineError) continue;  // the parser adds its usage
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.file << " " << c.to << " " << c.out << "\n" << run.err;
  }
}

}  // namespace
}  // namespace ringcalib::test
