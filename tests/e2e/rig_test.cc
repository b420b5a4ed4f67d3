// The tool on the shared generated rig, through the real executable: the accuracy against
// the generator's truth, the exact output, the file's bytes, the report, and the failures
// that only a long run reaches. Each test is one ctest entry (label "rig").
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <future>
#include <regex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>

#include "core/gbk_text.h"
#include "tests/support/cmyk_jpeg.h"
#include "tests/support/rig_cache.h"
#include "tests/support/test_support.h"
#include "tools/truth_compare.h"
#include "tools/truth_file.h"

namespace ringcalib::test {
namespace {

using nlohmann::json;

struct SharedRig {
  synth::RigTruth truth;
  std::string folder = sharedRig(truth);
};

const SharedRig& rig() {
  static const SharedRig shared;
  return shared;
}

// The start of the line after the one at `at`.
std::size_t next(const std::string& out, std::size_t at) {
  const std::size_t end = out.find('\n', at);
  return end == std::string::npos ? out.size() : end + 1;
}

// Checks the lines of `out` from `at` on against `patterns`, one each; moves `at` past them.
void expectLines(const std::string& out, std::size_t& at, const std::vector<std::string>& patterns) {
  for (const std::string& pattern : patterns) {
    const std::string line = out.substr(at, next(out, at) - at);
    EXPECT_TRUE(std::regex_match(line, std::regex(pattern + "\n"))) << line << " / " << pattern;
    at = next(out, at);
  }
}

void expectEnding(const std::string& out, const std::string& ending) {
  EXPECT_EQ(out.substr(out.size() - std::min(out.size(), ending.size())), ending);
}

// A folder whose origin_<n> files link to those of the rig's `part` folder.
std::string linkedFolder(const TempDir& dir, const std::string& part, const char* extension, std::vector<int> cameras) {
  std::filesystem::create_directory(dir.file(part));
  for (int n : cameras) {
    const std::string file = "/origin_" + std::to_string(n) + "." + extension;
    std::filesystem::create_symlink(rig().folder + "/" + part + file, dir.file(part) + file);
  }
  return dir.file(part);
}

// Compact and keys in byte order at every level (as the JSON library writes the document,
// numbers aside); every number with a point as "%.15g" writes it, ".0" added to whole ones
// (those without are the integers of members the tool does not know); the version a plain 1.
json expectFileFormat(const std::string& file) {
  const std::string bytes = readFileBytes(file);
  const json document = json::parse(bytes);
  const std::regex number("([:,\\[])(-?[0-9][-+.e0-9]*)");
  EXPECT_EQ(std::regex_replace(bytes, number, "$1#"), std::regex_replace(document.dump(), number, "$1#"));
  for (std::sregex_iterator it(bytes.begin(), bytes.end(), number), end; it != end; ++it) {
    char printed[32];
    std::snprintf(printed, sizeof printed, "%.15g", std::stod((*it)[2]));
    const std::string whole = std::strpbrk(printed, ".e") == nullptr ? ".0" : "";
    EXPECT_TRUE((*it)[2].str().find('.') == std::string::npos || (*it)[2] == printed + whole) << (*it)[2];
  }
  expectEnding(bytes, ",\"version\":1}");
  return document;
}

// Today's bars (see the README): each camera's model over the rays within 80 degrees of the
// axis and its fx, fy, cx, cy; each pair's rotation and translation direction.
void expectIntrinsicsWithinBars(const json& document) {
  for (int n = 0; n < 6; ++n) {
    const json& m = document.at("origin_" + std::to_string(n)).at("camera_matrix");
    const json& d = document.at("origin_" + std::to_string(n)).at("distortion_factor");
    const cv::Matx33d K(m.at("x"), 0, m.at("z"), 0, m.at("y"), m.at("w"), 0, 0, 1);
    const synth::CameraTruth& truth = rig().truth.cameras[n];
    EXPECT_LT(synth::projectionRmsError(truth, K, cv::Vec4d(d.at("x"), d.at("y"), d.at("z"), d.at("w"))), 0.3) << n;
    for (int i : {0, 2, 4, 5}) EXPECT_NEAR(K.val[i], truth.K.val[i], 1.0) << "camera " << n;
  }
}

cv::Matx33d storedRotation(const json& document, int pair) {
  cv::Matx33d R;
  const json& pose = document.at("origin_" + std::to_string(pair)).at("extrinsic_param");
  for (int i = 0; i < 9; ++i) R.val[i] = pose.at("R" + std::to_string(i / 3) + std::to_string(i % 3));
  return R;
}

void expectPairsWithinBars(const json& document) {
  for (int pair = 0; pair < 6; ++pair) {
    const json& pose = document.at("origin_" + std::to_string(pair)).at("extrinsic_param");
    const cv::Vec3d t(pose.at("T00"), pose.at("T10"), pose.at("T20"));
    EXPECT_EQ(pose.size(), 12u);
    EXPECT_LT(rig::rotationErrorDeg(storedRotation(document, pair), rig().truth.pairs[pair].R), 0.05) << pair;
    // At most 0.18 degrees measured; a pose refined from a poor start is 1.7-2.8 degrees off.
    EXPECT_LT(rig::directionErrorDeg(t, rig().truth.pairs[pair].t), 0.5) << "pair " << pair;
    EXPECT_NEAR(cv::norm(t), 1.0, 1e-9) << "pair " << pair;
  }
}

// The intrinsic part of "all" for cameras 0 ... count - 1: the frames' progress within the
// camera's share in fixed notation, the solve's blocks, the progress after the solve.
void expectIntrinsicOutput(const std::string& out, std::size_t& at, int count) {
  const char* afterSolve[] = {"0.150000", "0.300000", "0.450000", "0.600000", "0.750000", "0.900000"};
  for (int n = 0; n < count; ++n) {
    for (double last = 0.15 * n; out.compare(at, 9, "progress:") == 0; at = next(out, at)) {
      const double value = std::stod(out.substr(at + 9, 8));
      EXPECT_TRUE(value >= last && value <= 0.15 * (n + 1) + 1e-9 && out.find('\n', at) == at + 17) << out.substr(at, 20);
      last = value;
    }
    while (out.compare(at, 9, "camera " + std::to_string(n) + ":") == 0) at = next(out, at);  // views left out
    expectLines(out, at, {"fisheye K", "\\[[^;]+;", " [^;]+;", " 0, 0, 1\\]", "fisheye D",
                          "\\[(-?[0-9]+\\.[0-9]{6}, ){3}-?[0-9]+\\.[0-9]{6}\\]", std::string("progress:") + afterSolve[n]});
  }
}

// The extrinsic part: 12 progress lines, then per pair its counts, "F" and its matrix, the
// refinement's timing, the angles (in fixed notation after the intrinsic part), the
// translation and the progress.
void expectExtrinsicOutput(const std::string& out, std::size_t& at, const std::vector<std::string>& progress) {
  for (int k = 0; k < 12; ++k) expectLines(out, at, {"progress:" + progress[k]});
  const std::string angle = progress[0].size() == 8 ? "-?[0-9]+\\.[0-9]{6}" : "-?[0-9.e+-]+";
  for (int pair = 0; pair < 6; ++pair) {
    expectLines(out, at, {"pts1\\.size, pts2\\.size: ([0-9]+) \\1", "F ", "\\[[^;\\]]*;", " [^;\\]]*;", " [^;\\]]*\\]",
                          std::string(gbk::kOptimisationTime) + "[0-9]+", "R: " + angle + " " + angle + " " + angle,
                          "t: \\[[^,]+, [^,]+, [^,]+\\]", "progress:" + progress[12 + pair]});
  }
}

RunResult runAll(const std::string& file, const std::string& images, std::vector<std::string> extra = {},
                 const RunOptions& options = RunOptions()) {
  std::vector<std::string> args = {"-w", "all", "-v", rig().folder + "/video", "-i", images, "-f", file};
  args.insert(args.end(), extra.begin(), extra.end());
  return runTool(args, options);
}

void expectRingAdjusted(const RunResult& adjusted, const std::string& plainOut, const std::string& file,
                        const std::string& reportFolder, const cv::Vec2d& bars, double largestSigmas);

// One "all" run on one OpenCV thread and, at the same time, one on all threads with --report
// and --ring-adjust: the same output up to the adjustment and the same intrinsics, so neither
// the thread count nor the report changes any; the adjusted poses' sigma carries the
// intrinsics' error.
TEST(Rig, all_runs) {
  TempDir dir;
  const std::string folder = dir.file("report");
  auto reportedRun = std::async(std::launch::async, [&] {
    return runAll(dir.file("reported.json"), rig().folder + "/image", {"--report", folder, "--ring-adjust"});
  });
  const RunResult plain = runAll(dir.file("plain.json"), rig().folder + "/image", {},
                                 RunOptions{{{"OPENCV_FOR_THREADS_NUM", "1"}}});
  const RunResult reported = reportedRun.get();
  ASSERT_EQ(plain.status, 0) << plain.out;
  EXPECT_EQ(plain.err, "");
  std::size_t at = 0;
  expectIntrinsicOutput(plain.out, at, 6);
  expectExtrinsicOutput(plain.out, at, {"0.901667", "0.903333", "0.905000", "0.906667", "0.908333", "0.910000",
                                        "0.915556", "0.921111", "0.926667", "0.932222", "0.937778", "0.943333",
                                        "0.952778", "0.962222", "0.971667", "0.981111", "0.990556", "1.000000"});
  EXPECT_EQ(plain.out.substr(at), "result : 0\n");
  const json document = expectFileFormat(dir.file("plain.json"));
  expectIntrinsicsWithinBars(document);
  expectPairsWithinBars(document);

  // The intrinsics' error at the views' edges, where the overlaps lie, makes the adjusted
  // poses' error 4-5 times the extrinsic job's on the true intrinsics; the sigma says so: the
  // largest of the twelve errors is 1.5 sigma, without the intrinsics' share 5.5.
  expectRingAdjusted(reported, plain.out, dir.file("reported.json"), folder, {0.006, 0.08}, 2.5);
  EXPECT_EQ(reported.err, "");
  json adjusted = json::parse(readFileBytes(dir.file("reported.json"))), pairwise = document;
  for (int n = 0; n < 6; ++n) {
    adjusted["origin_" + std::to_string(n)].erase("extrinsic_param");
    pairwise["origin_" + std::to_string(n)].erase("extrinsic_param");
  }
  EXPECT_EQ(adjusted, pairwise);
  // The report's counts are the job's own; its closure is that of the stored rotations.
  const json report = json::parse(readFileBytes(folder + "/report.json"));
  EXPECT_EQ(report["jobs"], json::parse(R"([{"job":"intrinsic","code":0},{"job":"extrinsic","code":0}])"));
  for (const json& camera : report["cameras"]) {
    EXPECT_EQ(camera["intrinsic"]["frames_read"], 96);
    EXPECT_EQ(camera["intrinsic"]["frames_sampled"], 24);
    EXPECT_GE(camera["intrinsic"]["view_rms_errors"].size(), 20u);
  }
  std::size_t pair = 0;
  const std::regex counts("pts1\\.size, pts2\\.size: ([0-9]+)");
  for (std::sregex_iterator it(plain.out.begin(), plain.out.end(), counts), end; it != end; ++it, ++pair) {
    EXPECT_EQ(report["pairs"][pair]["correspondences"], std::stoi((*it)[1]));
  }
  EXPECT_EQ(pair, 6u);
  cv::Matx33d around = cv::Matx33d::eye();
  for (int k = 0; k < 6; ++k) around = storedRotation(document, k) * around;
  cv::Vec3d angle;
  cv::Rodrigues(around, angle);
  EXPECT_NEAR(report["ring"]["closure_degrees"].get<double>(), cv::norm(angle) * 180 / CV_PI, 1e-6);
  EXPECT_LT(report["ring"]["closure_degrees"].get<double>(), 0.1);
  EXPECT_TRUE(report["ring"]["suspect_pair"].is_null());
  const std::string page = readFileBytes(folder + "/index.html");
  const std::regex reference("(?:src|href)=\"([^\"]+)\"");
  int references = 0;
  for (std::sregex_iterator it(page.begin(), page.end(), reference), end; it != end; ++it, ++references) {
    EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/" + (*it)[1].str())) << (*it)[1];
  }
  EXPECT_EQ(references, 1 + 6 * 2 + 6 * 3 + 1);  // the panorama, two pictures per camera, three per pair, report.json
  // The panorama at its size; every pair rectified, its rows agreeing at the calibrated pose.
  EXPECT_EQ(report["panorama"], json::parse(R"({"file":"panorama.jpg","width":4096,"height":2048})"));
  EXPECT_EQ(cv::imread(folder + "/panorama.jpg", cv::IMREAD_UNCHANGED).size(), cv::Size(4096, 2048));
  for (int n = 0; n < 6; ++n) {
    const json& rectified = report["pairs"][n]["rectified"];
    EXPECT_EQ(rectified["file"], "pair_" + std::to_string(n) + "_rectified.jpg");
    EXPECT_EQ(rectified["verdict"], "good") << rectified;
    EXPECT_LT(rectified["vertical_disparity_degrees"]["median"].get<double>(),
              rectified["vertical_disparity_degrees"]["p95"].get<double>());
  }
}

// A --ring-adjust run: the pairs print as without it, then the block and the result line;
// the stored poses are one ring (closure) and near the geometric truth in the file's
// convention (R' = Q R Q^T, t' = Q t).
// `bars`: the largest error in rotation and direction; `largestSigmas`: the bar of the
// largest error over its sigma.
void expectRingAdjusted(const RunResult& adjusted, const std::string& plainOut, const std::string& file,
                        const std::string& reportFolder, const cv::Vec2d& bars, double largestSigmas) {
  ASSERT_EQ(adjusted.status, 0) << adjusted.out;
  const std::regex ticks(std::string(gbk::kOptimisationTime) + "[0-9]+");
  const std::string pairwise = plainOut.substr(0, plainOut.rfind("result : 0\n"));
  EXPECT_EQ(std::regex_replace(adjusted.out.substr(0, pairwise.size()), ticks, ""), std::regex_replace(pairwise, ticks, ""));
  EXPECT_TRUE(std::regex_match(adjusted.out.substr(pairwise.size()),
                               std::regex("ring adjustment: [0-9]+ tracks, [0-9]+ over three cameras\n"
                                          "(pair [0-5]-[0-5] adjusted R: .* change: rotation .* deg, direction .* deg; "
                                          "1-sigma: rotation .* deg, direction .* deg\n){6}"
                                          "ring closure: pairwise .* deg, adjusted .* deg\nresult : 0\n")))
      << adjusted.out;
  const json document = expectFileFormat(file);
  const synth::GeometricPairs geometric = synth::readGeometricPairs(rig().folder + "/truth.json");
  cv::Matx33d around = cv::Matx33d::eye();
  std::array<cv::Vec2d, 6> errors;  // rotation, direction
  for (int pair = 0; pair < 6; ++pair) {
    const json& pose = document.at("origin_" + std::to_string(pair)).at("extrinsic_param");
    const cv::Vec3d t(pose.at("T00"), pose.at("T10"), pose.at("T20"));
    const rig::PairPose truth = rig::toFileConvention(geometric[pair]);
    errors[pair] = {rig::rotationErrorDeg(storedRotation(document, pair), truth.R), rig::directionErrorDeg(t, truth.t)};
    EXPECT_LT(errors[pair][0], bars[0]) << pair;
    EXPECT_LT(errors[pair][1], bars[1]) << pair;
    around = storedRotation(document, pair) * around;
  }
  EXPECT_LT(rig::rotationAngleDeg(around), 0.001);
  const json report = json::parse(readFileBytes(reportFolder + "/report.json"));
  EXPECT_NEAR(report["ring"]["adjusted_closure_degrees"].get<double>(), rig::rotationAngleDeg(around), 1e-9);
  double largest = 0.0;  // error / sigma
  for (int pair = 0; pair < 6; ++pair) {
    const json& entry = report["pairs"][pair]["adjusted"];
    EXPECT_NEAR(entry["R"][1][2].get<double>(), storedRotation(document, pair)(1, 2), 1e-12) << pair;
    EXPECT_GT(entry["sigma_direction_degrees"].get<double>(), entry["sigma_rotation_degrees"].get<double>()) << pair;
    largest = std::max({largest, errors[pair][0] / entry["sigma_rotation_degrees"].get<double>(),
                        errors[pair][1] / entry["sigma_direction_degrees"].get<double>()});
  }
  // The sigma is honest: a sigma far too large would leave the largest of the twelve errors
  // under 0.5 sigma.
  EXPECT_GT(largest, 0.5);
  EXPECT_LT(largest, largestSigmas);
}

double fifteenDigits(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return std::strtod(text, nullptr);
}

// The extrinsic job alone on the truth's intrinsics, with camera 0's still as an Adobe CMYK
// JPEG, and members it does not know and an earlier pose in a file not in key order.
TEST(Rig, extrinsic_run) {
  TempDir dir;
  const std::string images = linkedFolder(dir, "image", "jpg", {1, 2, 3, 4, 5});
  writeFileBytes(images + "/origin_0.jpg", encodeCmykJpeg(cv::imread(rig().folder + "/image/origin_0.jpg")));
  nlohmann::ordered_json before = {{"version", 1}, {"note", "bench rig"}};
  for (int n = 5; n >= 0; --n) {
    const char* keys[] = {"z", "y", "x", "w"};
    const int k[] = {2, 4, 0, 5}, d[] = {2, 1, 0, 3};
    for (int i = 0; i < 4; ++i) {
      before["origin_" + std::to_string(n)]["distortion_factor"][keys[i]] = fifteenDigits(rig().truth.cameras[n].D[d[i]]);
      before["origin_" + std::to_string(n)]["camera_matrix"][keys[i]] = fifteenDigits(rig().truth.cameras[n].K.val[k[i]]);
    }
  }
  before["origin_2"]["lens"] = {{"model", "fisheye"}, {"id", 7}};
  before["origin_1"]["extrinsic_param"] = {{"T00", 9.0}, {"R00", 0.0}, {"old", true}};
  const std::string file = dir.file("params.json");
  writeFileBytes(file, before.dump());

  const std::string adjustedFile = dir.file("adjusted.json");
  writeFileBytes(adjustedFile, before.dump());
  auto adjustedRun = std::async(std::launch::async, [&] {
    return runTool({"-w", "extrinsic", "-i", images, "-f", adjustedFile, "--ring-adjust", "-r", dir.file("report")});
  });
  const RunResult run = runTool({"-w", "extrinsic", "-i", images, "-f", file});
  ASSERT_EQ(run.status, 0) << run.out;
  // On this rig the largest of the twelve errors is 1.5 sigma; without the factor for the
  // correlated errors it would be 3.
  expectRingAdjusted(adjustedRun.get(), run.out, adjustedFile, dir.file("report"), {0.004, 0.05}, 2.5);
  EXPECT_EQ(run.err, "");
  std::size_t at = 0;
  expectExtrinsicOutput(run.out, at, {"0.0166667", "0.0333333", "0.05", "0.0666667", "0.0833333", "0.1", "0.155556",
                                      "0.211111", "0.266667", "0.322222", "0.377778", "0.433333", "0.527778",
                                      "0.622222", "0.716667", "0.811111", "0.905556", "1"});
  EXPECT_EQ(run.out.substr(at), "result : 0\n");
  json stored = expectFileFormat(file), kept = json::parse(before.dump());
  expectPairsWithinBars(stored);
  for (int n = 0; n < 6; ++n) {  // everything else as it was
    stored["origin_" + std::to_string(n)].erase("extrinsic_param");
    kept["origin_" + std::to_string(n)].erase("extrinsic_param");
  }
  EXPECT_EQ(stored, kept);

  // The check of the calibration just stored holds on the same stills; with camera 3 turned
  // by 0.1 degree in the file (about an axis off every frame axis), exactly its two pairs
  // moved. Neither run changes the file.
  const RunResult holds = runKeepingFile({"-w", "check", "-i", images, "-f", file}, file);
  EXPECT_EQ(holds.status, 0) << holds.out;
  EXPECT_EQ(std::count(holds.out.begin(), holds.out.end(), '\n'), 12 + 6 + 6 + 1) << holds.out;
  for (int pair = 0; pair < 6; ++pair) {
    const std::string line = "pair " + std::to_string(pair) + "-" + std::to_string((pair + 1) % 6) +
                             ": holds rotation 0.000 deg direction 0.000 deg error stored ";
    EXPECT_NE(holds.out.find(line), std::string::npos) << line;
  }
  cv::Matx33d turn;
  cv::Rodrigues(cv::Vec3d(1.0, -2.0, 2.0) / 3.0 * (0.1 * CV_PI / 180.0), turn);
  json turned = json::parse(readFileBytes(file));
  const auto setPose = [&](int pair, const cv::Matx33d& R, const cv::Vec3d& t) {
    json& pose = turned["origin_" + std::to_string(pair)]["extrinsic_param"];
    for (int i = 0; i < 9; ++i) pose["R" + std::to_string(i / 3) + std::to_string(i % 3)] = R.val[i];
    for (int i = 0; i < 3; ++i) pose["T" + std::to_string(i) + "0"] = t[i];
  };
  const json& pose3 = turned["origin_3"]["extrinsic_param"];
  const cv::Vec3d t3(pose3["T00"], pose3["T10"], pose3["T20"]);
  const cv::Matx33d R2 = storedRotation(turned, 2), R3 = storedRotation(turned, 3);
  setPose(2, turn * R2, cv::Vec3d(turned["origin_2"]["extrinsic_param"]["T00"], turned["origin_2"]["extrinsic_param"]["T10"],
                                  turned["origin_2"]["extrinsic_param"]["T20"]));
  setPose(3, R3 * turn.t(), turn * t3);
  writeFileBytes(file, turned.dump());
  const RunResult moved = runKeepingFile({"-w", "check", "-i", images, "-f", file}, file);
  EXPECT_EQ(moved.status, 10) << moved.out;
  for (int pair = 0; pair < 6; ++pair) {
    const std::string verdict = pair == 2 || pair == 3 ? "moved" : "holds";
    EXPECT_NE(moved.out.find("pair " + std::to_string(pair) + "-" + std::to_string((pair + 1) % 6) + ": " + verdict +
                             (verdict == "moved" ? " rotation 0.100" : " rotation 0.000")),
              std::string::npos)
        << moved.out;
  }
  EXPECT_EQ(moved.out.substr(moved.out.size() - 12), "result : 10\n");
}

// Without camera 3's video the job prints cameras 0 to 2 and nothing of 4 and 5, and the
// failed intrinsic part of "all" ends the run without a result line or a changed file.
TEST(Rig, missing_video) {
  TempDir dir;
  const std::string videos = linkedFolder(dir, "video", "mp4", {0, 1, 2, 4, 5});
  const std::string file = dir.file("params.json");
  writeFileBytes(file, R"({"note":"earlier calibration","version":1})");
  const RunResult run = runKeepingFile({"-w", "all", "-v", videos, "-i", rig().folder + "/image", "-f", file}, file);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "");
  std::size_t at = 0;
  expectIntrinsicOutput(run.out, at, 3);
  EXPECT_EQ(run.out.substr(at), "Can not open video : " + videos + "/origin_3.mp4\n");
}

// A failed extrinsic part of "all" leaves the intrinsic part's file. Here camera 4's still has
// the half that pair 3-4 sees (its top rows) moved 40 px along them: that pair alone turns,
// by about 2 degrees, and the ring does not close. The report says why; its page cannot be
// written, which is one line on standard error and changes nothing else.
TEST(Rig, extrinsic_part_fails) {
  TempDir dir;
  const std::string images = linkedFolder(dir, "image", "jpg", {0, 1, 2, 3, 5});
  cv::Mat still = cv::imread(rig().folder + "/image/origin_4.jpg");
  const cv::Rect top(0, 0, still.cols - 40, still.rows / 2);
  still(top).clone().copyTo(still(top + cv::Point(40, 0)));
  ASSERT_TRUE(cv::imwrite(images + "/origin_4.jpg", still));
  std::filesystem::create_directories(dir.file("report/index.html"));
  const RunResult run = runAll(dir.file("params.json"), images, {"--report", dir.file("report")});
  EXPECT_EQ(run.status, 9);
  std::smatch line;
  ASSERT_TRUE(std::regex_search(run.out, line, std::regex("progress:1\\.000000\nextrinsic calibration failed: the ring does not "
                                                          "close, its six pair rotations miss the identity by ([0-9.]+) deg "
                                                          "\\(limit 0\\.5 deg\\); suspect pair 3-4\nresult : 9\n$")))
      << run.out;
  EXPECT_TRUE(std::regex_match(run.err, std::regex("report not complete: [^\n]*" + dir.file("report/index.html") + "\n")))
      << run.err;
  const json document = expectFileFormat(dir.file("params.json"));
  EXPECT_EQ(document.size(), 7u);
  for (int n = 0; n < 6; ++n) EXPECT_EQ(document.at("origin_" + std::to_string(n)).size(), 2u);  // K and D only
  expectIntrinsicsWithinBars(document);
  const json ring = json::parse(readFileBytes(dir.file("report/report.json")))["ring"];
  EXPECT_NEAR(std::stod(line[1]), ring["closure_degrees"].get<double>(), 5e-4);
  EXPECT_EQ(ring["suspect_pair"], 3);
  EXPECT_EQ(ring["verdict"], "failed");
  EXPECT_EQ(ring["reasons"].back(), "the extrinsic job stopped: the ring does not close within 0.5 deg");
}

// A file that takes no byte: after the whole calibration the run must say that nothing was
// stored, never report success.
TEST(Rig, full_device) {
  ASSERT_EQ(::access("/dev/full", W_OK), 0);
  const RunResult run = runTool({"-w", "intrinsic", "-v", rig().folder + "/video", "-f", "/dev/full"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "");
  expectEnding(run.out, "progress:1.000000\nCan not write camera parameter file : /dev/full\nresult : 2\n");
}

}  // namespace
}  // namespace ringcalib::test
