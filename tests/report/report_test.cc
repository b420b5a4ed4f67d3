// The calibration report: ring closure and the pair it names, the verdicts against their
// limits (and the extrinsic job's ring check on the same limit), the measures the jobs hand
// over, and the folder written from a report.
#include <filesystem>
#include <random>
#include <regex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <opencv2/calib3d.hpp>

#include "calibration/extrinsic/ring_closure_check.h"
#include "report/assessment.h"
#include "core/number_format.h"
#include "report/report_page.h"
#include "report/report_writer.h"
#include "report/solve_residuals.h"
#include "rig/epipolar_consistency.h"
#include "rig/ring_closure.h"
#include "tests/support/test_support.h"

namespace ringcalib::test {
namespace {

using namespace ringcalib::report;
using rig::computeRingClosure;
using rig::countConsistentWithF;
using rig::RingClosure;

cv::Matx33d randomRotation(std::mt19937& random, double angleDeg) {
  std::normal_distribution<double> normal;
  cv::Vec3d axis(normal(random), normal(random), normal(random));
  cv::Matx33d R;
  cv::Rodrigues(axis * (angleDeg * CV_PI / 180 / cv::norm(axis)), R);
  return R;
}

// Camera n of N looks out at 360 n / N degrees about the vertical axis with a small mounting
// rotation of its own; pair n maps view n to view n + 1, so the product around the ring is I.
std::vector<cv::Matx33d> exactRing(std::mt19937& random, double mountingDeg, int cameras = 6) {
  std::vector<cv::Matx33d> world(cameras), pairs(cameras);
  for (int n = 0; n < cameras; ++n) {
    cv::Matx33d yaw;
    cv::Rodrigues(cv::Vec3d(0, -360.0 / cameras * n * CV_PI / 180, 0), yaw);
    world[n] = randomRotation(random, mountingDeg) * yaw;
  }
  for (int n = 0; n < cameras; ++n) pairs[n] = world[(n + 1) % cameras] * world[n].t();
  return pairs;
}

TEST(RingClosure, AnExactRingClosesAndOneBrokenPairIsNamed) {
  for (unsigned seed = 1; seed <= 3; ++seed) {
    std::mt19937 random(seed);
    EXPECT_LT(computeRingClosure(exactRing(random, 2.0)).closureDeg, 1e-9);
    // An error Q in pair k makes the product A Q A^T: the closure is Q's angle, and the
    // indicator must name k, for errors well above the cameras' mounting differences.
    for (int k = 0; k < 6; ++k) {
      auto pairs = exactRing(random, 0.5);
      for (cv::Matx33d& R : pairs) R = randomRotation(random, 0.01) * R;
      pairs[k] = randomRotation(random, 3.0) * pairs[k];
      const RingClosure ring = computeRingClosure(pairs);
      EXPECT_NEAR(ring.closureDeg, 3.0, 0.07) << "seed " << seed << " pair " << k;
      EXPECT_EQ(ring.suspect, k) << "seed " << seed;
      EXPECT_GT(ring.explained[k], 0.6);
    }
  }
}

// Each measure just inside and just beyond its limits, smaller being better. A ring beyond
// its limit (pair 4 turned) stops the extrinsic job or the check, which names the pair; the
// report says which job it stopped.
TEST(Assessment, VerdictsFollowTheLimits) {
  const Verdict good = Verdict::kGood, check = Verdict::kCheck, poor = Verdict::kPoor, failed = Verdict::kFailed;
  const struct {
    double cameraRms, consistentShare, pairMedian, closureDeg;
    Verdict camera, pair, ring;
    // The camera's field (none where not a number): its corners' reach, the angle needed and
    // where its model folds.
    double coveredDeg = NAN, neededDeg = NAN, foldDeg = NAN;
  } cases[] = {
      {0.5, 0.9, 0.5, 0.09, good, good, good},     {0.51, 0.899, 0.5, 0.11, check, check, check},
      {1.0, 0.7, 0.51, 0.49, check, check, check}, {1.01, 0.699, 1.0, 0.51, poor, poor, failed},
      {0.2, 1.0, 1.01, 0.0, good, poor, good},     {0.2, 1.0, 0.2, 1.0, good, good, failed},
      {0.2, 0.9, 0.5, 0.09, good, good, good, 73.0, 73.0},
      {0.2, 0.9, 0.5, 0.09, poor, good, good, 72.9, 73.0},
      {0.2, 0.9, 0.5, 0.09, poor, good, good, 80.0, 73.0, 83.0},
  };
  for (const auto& c : cases) for (const Job job : {Job::kExtrinsic, Job::kCheck}) {
    std::mt19937 random(5);
    auto rotations = exactRing(random, 0.05);
    rotations[4] = randomRotation(random, c.closureDeg) * rotations[4];
    CalibrationReport report;
    report.camera(0).intrinsic.emplace();
    report.camera(0).intrinsic->solved = true;
    report.camera(0).intrinsic->rmsError = c.cameraRms;
    if (!std::isnan(c.coveredDeg)) {
      FieldReport field;
      field.coveredDeg = c.coveredDeg;
      field.neededDeg = c.neededDeg;
      field.foldDeg = c.foldDeg;
      report.camera(0).intrinsic->field = field;
    }
    for (int k = 0; k < 6; ++k) {
      report.pair(k).solved = true;
      report.pair(k).R = rotations[k];
      report.pair(k).correspondences = 1000;
      report.pair(k).consistentWithF = k == 0 ? static_cast<int>(std::lround(1000 * c.consistentShare)) : 1000;
      report.pair(k).medianError = k == 0 ? c.pairMedian : 0.2;
    }
    std::ostringstream out;
    report.jobs = {{job, extrinsic::checkRingCloses(rotations, out)}};
    EXPECT_EQ(report.jobs[0].code, c.closureDeg > 0.5 ? 9 : 0) << c.closureDeg;
    EXPECT_EQ(out.str(), c.closureDeg > 0.5 ? "extrinsic calibration failed: the ring does not close, its six pair rotations "
                                              "miss the identity by " + formatNumber("%.3f", c.closureDeg) +
                                              " deg (limit 0.5 deg); suspect pair 4-5\n"
                                            : "");
    const Assessment assessment = assess(report);
    EXPECT_EQ(assessment.cameras[0].verdict, c.camera) << c.cameraRms;
    EXPECT_EQ(assessment.pairs[0].verdict, c.pair) << c.consistentShare << " " << c.pairMedian;
    EXPECT_EQ(assessment.ringJudgement.verdict, c.ring) << c.closureDeg;
    // Only a ring beyond the check limit names the pair that breaks it.
    EXPECT_EQ(assessment.pairs[4].verdict, c.closureDeg > 0.5 ? poor : good);
    const std::string stopped = std::string("the ") + jobName(job) + " job stopped: the ring does not close within 0.5 deg";
    const std::vector<std::string>& reasons = assessment.ringJudgement.reasons;
    EXPECT_EQ(!reasons.empty() && reasons.back() == stopped, c.closureDeg > 0.5) << jobName(job);
  }
}

TEST(Measures, PerViewResidualsAndTheCountConsistentWithF) {
  const cv::Matx33d K(800, 0, 640, 0, 805, 480, 0, 0, 1);
  std::mt19937 random(1);
  std::vector<cv::Point3f> board;
  for (int i = 0; i < 108; ++i) board.emplace_back(static_cast<float>(i % 9), static_cast<float>(i / 9), 0.0f);
  std::vector<std::vector<cv::Point2f>> images(3);
  std::vector<cv::Vec3d> rotations, translations;
  std::uniform_real_distribution<double> direction(0.0, 2 * CV_PI);
  for (int v = 0; v < 3; ++v) {
    rotations.emplace_back(0.1 * v, -0.2, 0.05);
    translations.emplace_back(-4.0 + v, -5.5, 14.0);
    cv::fisheye::projectPoints(board, images[v], rotations[v], translations[v], K, cv::Vec4d(0.05, -0.01, 0.003, 0));
    for (cv::Point2f& p : images[v]) {  // view v's corners moved by 0.25 (v + 1) px
      const double a = direction(random);
      p += cv::Point2f(static_cast<float>(0.25 * (v + 1) * std::cos(a)), static_cast<float>(0.25 * (v + 1) * std::sin(a)));
    }
  }
  const SolveResiduals residuals = fisheyeResiduals(std::vector<std::vector<cv::Point3f>>(3, board), images,
                                                    rotations, translations, K, cv::Vec4d(0.05, -0.01, 0.003, 0));
  ASSERT_EQ(residuals.corners.size(), 3u * 108u);
  for (int v = 0; v < 3; ++v) {
    EXPECT_NEAR(residuals.viewRms[v], 0.25 * (v + 1), 1e-4) << v;
    EXPECT_NEAR(residuals.corners[v * 108 + 17].residual, 0.25 * (v + 1), 1e-4);
  }

  // F of two views of K with X2 = R (X1 - t), and 200 exact correspondences of which the first
  // 50 are moved 40 px off their epipolar lines.
  const cv::Matx33d R = randomRotation(random, 10.0);
  const cv::Vec3d t(0.8, 0.1, -0.3), b = -(R * t);
  const cv::Matx33d F = K.inv().t() * cv::Matx33d(0, -b[2], b[1], b[2], 0, -b[0], -b[1], b[0], 0) * R * K.inv();
  std::vector<cv::Point2f> pts1, pts2;
  for (int i = 0; i < 200; ++i) {
    const cv::Vec3d X(i % 20 * 0.2 - 2.0, i / 20 * 0.4 - 2.0, 8.0 + i % 7 * 0.3), x1 = K * X, x2 = K * (R * (X - t));
    const cv::Vec3d line = F * x1 / x1[2];
    pts1.emplace_back(static_cast<float>(x1[0] / x1[2]), static_cast<float>(x1[1] / x1[2]));
    pts2.emplace_back(static_cast<float>(x2[0] / x2[2] + (i < 50) * 40 * line[0] / std::hypot(line[0], line[1])),
                      static_cast<float>(x2[1] / x2[2] + (i < 50) * 40 * line[1] / std::hypot(line[0], line[1])));
  }
  EXPECT_EQ(countConsistentWithF(pts1, pts2, cv::Mat(F), 3.0), 150);
}

// The numbers an "all" run records on a ring of `cameras`: each camera and each pair solved.
CalibrationReport sampleReport(int cameras = 6) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  CalibrationReport report;
  report.ringCameras = cameras;
  report.jobs = {{Job::kIntrinsic, 0}, {Job::kExtrinsic, 0}};
  const auto rotations = exactRing(random, 0.05, cameras);
  for (int n = 0; n < cameras; ++n) {
    CameraReport& camera = report.camera(n);
    IntrinsicReport& intrinsic = camera.intrinsic.emplace();
    intrinsic.framesRead = 240 + n;
    intrinsic.solved = camera.hasIntrinsics = true;
    intrinsic.rmsError = 0.1 + 0.1 * unit(random);
    for (int v = 0; v < 30; ++v) intrinsic.viewRmsErrors.push_back(0.3 * unit(random));
    camera.K = cv::Matx33d(700.0 + unit(random), 0, 800.0 + unit(random), 0, 701.0, 600.0, 0, 0, 1);
    camera.D = cv::Vec4d(0.01 * unit(random), -0.002, 1e-4, -1e-5);
    PairReport& pair = report.pair(n);
    pair.correspondences = 5000 + 7 * n;
    pair.consistentWithF = 4900 + n;
    pair.solved = true;
    pair.R = rotations[n];
    pair.t = cv::normalize(cv::Vec3d(0.86, 0.01 * n, -0.5));
    pair.medianError = 0.2 + 0.01 * n;
  }
  return report;
}

// Rings of six and of four: every camera and pair, the ring closed with each pair's share and
// the page's product around it; with stills (small grey ones), the panorama and the rectified
// pairs.
TEST(ReportFolder, TheJsonHoldsTheRecordedNumbersExactly) {
  const struct {
    int cameras;
    bool stills;
    const char* product;
  } rings[] = {{6, false, "R<sub>5</sub>R<sub>4</sub>R<sub>3</sub>R<sub>2</sub>R<sub>1</sub>R<sub>0</sub> maps"},
               {4, true, "ring, R<sub>3</sub>R<sub>2</sub>R<sub>1</sub>R<sub>0</sub> maps"}};
  for (const auto& [cameras, stills, product] : rings) {
    TempDir dir;
    CalibrationReport report = sampleReport(cameras);
    if (stills) {
      for (CameraReport& camera : report.cameras) {
        camera.still = cv::Mat(30, 40, CV_8U, cv::Scalar(100));
        camera.stillLens = {cv::Matx33d(10, 0, 20, 0, 10, 15, 0, 0, 1), cv::Vec4d::all(0.0)};
      }
    }
    std::string error;
    ASSERT_TRUE(writeReport(report, dir.file("out"), error)) << error;
    const auto document = nlohmann::json::parse(readFileBytes(dir.file("out/report.json")));
    ASSERT_EQ(document["pairs"].size(), static_cast<std::size_t>(cameras));
    EXPECT_EQ(document.contains("panorama"), stills) << cameras;
    for (int n = 0; n < cameras; ++n) {
      const auto& camera = document["cameras"][n];
      EXPECT_EQ(camera["intrinsic"]["frames_read"], 240 + n);
      EXPECT_EQ(camera["intrinsic"]["rms_error"].get<double>(), report.cameras[n].intrinsic->rmsError);
      EXPECT_EQ(camera["intrinsic"]["view_rms_errors"].get<std::vector<double>>(), report.cameras[n].intrinsic->viewRmsErrors);
      for (int i = 0; i < 9; ++i) EXPECT_EQ(camera["K"][i / 3][i % 3].get<double>(), report.cameras[n].K.val[i]);
      EXPECT_EQ(camera["D"][0].get<double>(), report.cameras[n].D[0]);
      const auto& pair = document["pairs"][n];
      EXPECT_EQ(pair["cameras"], nlohmann::json({n, (n + 1) % cameras}));
      EXPECT_TRUE(pair.contains("closure_explained")) << cameras << " " << n;
      if (stills) {
        EXPECT_EQ(pair["rectified"]["file"], "pair_" + std::to_string(n) + "_rectified.jpg") << n;
      }
      EXPECT_EQ(pair["consistent_with_F"], 4900 + n);
      EXPECT_EQ(pair["median_error"].get<double>(), report.pairs[n].medianError);
      for (int i = 0; i < 3; ++i) EXPECT_EQ(pair["t"][i].get<double>(), report.pairs[n].t[i]);
      for (int i = 0; i < 9; ++i) EXPECT_EQ(pair["R"][i / 3][i % 3].get<double>(), report.pairs[n].R.val[i]);
      EXPECT_EQ(pair["verdict"], "good");
    }
    EXPECT_EQ(document["ring"]["verdict"], "good");
    EXPECT_NE(readFileBytes(dir.file("out/index.html")).find(product), std::string::npos) << cameras;
  }
}

// Every row of every table of the page fills its header's columns, also where a camera or a
// pair lacks a whole group of them (a cell then spans the group).
TEST(ReportPage, EveryRowFillsItsTableColumns) {
  CalibrationReport report = sampleReport();
  report.cameras[1].intrinsic.reset();    // read from the file
  report.cameras[2].hasIntrinsics = false;
  report.pairs[3].solved = false;
  report.pairs[4].check = PairCheck{};
  report.pairs[4].check->movedErrorRatio = 2.5;
  FigureFiles figures;
  figures.cameras.resize(report.cameras.size());
  figures.pairs.resize(report.pairs.size());
  const std::string page = renderPage(report, assess(report), figures);
  const std::regex tableExpr("<table>([\\s\\S]*?)</table>"), rowExpr("<tr>([\\s\\S]*?)</tr>");
  const std::regex cellExpr("<t([hd])[^>]*?(?: colspan=\"(\\d+)\")?>");
  int tables = 0;
  for (std::sregex_iterator t(page.begin(), page.end(), tableExpr), end; t != end; ++t, ++tables) {
    const std::string body = (*t)[1];
    int header = -1;
    for (std::sregex_iterator r(body.begin(), body.end(), rowExpr); r != end; ++r) {
      const std::string cells = (*r)[1];
      int width = 0;
      for (std::sregex_iterator c(cells.begin(), cells.end(), cellExpr); c != end; ++c) {
        width += (*c)[2].matched ? std::stoi((*c)[2]) : 1;
      }
      if (header < 0) header = width;
      EXPECT_EQ(width, header) << cells;
    }
  }
  EXPECT_EQ(tables, 5);  // run, cameras, check, pairs, ring
  EXPECT_NE(page.find("more than 2.5 times worse"), std::string::npos);  // the check's own rule
}

TEST(ReportFolder, AFileThatCannotBeWrittenIsOneLineNamingIt) {
  TempDir dir;
  writeFileBytes(dir.file("plain"), "x");
  std::filesystem::create_directories(dir.file("json/report.json"));
  std::filesystem::create_directories(dir.file("page/index.html"));
  const std::pair<std::string, std::string> cases[] = {  // folder, what cannot be written
      {dir.file("plain/out"), dir.file("plain/out")},
      {dir.file("json"), dir.file("json/report.json")},
      {dir.file("page"), dir.file("page/index.html")}};
  for (const auto& [folder, blocked] : cases) {
    std::string error;
    EXPECT_FALSE(writeReport(sampleReport(), folder, error));
    EXPECT_NE(error.find(blocked), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace ringcalib::test
