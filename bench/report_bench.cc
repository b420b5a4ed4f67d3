// What a report adds to a run at full size: the reduced copies the extrinsic job keeps
// (six 3600 x 3600 previews, six pairs of strips with their correspondence sample) and
// the writing of the folder (pictures, report.json, page).
#include <filesystem>
#include <random>

#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

#include "report/report_writer.h"
#include "report/view_samples.h"
#include "rig/prepared_view.h"

namespace {

constexpr int kViewSide = ringcalib::rig::kViewSize;

cv::Mat texturedView(std::mt19937& random) {
  cv::Mat view(kViewSide, kViewSide, CV_8UC1, cv::Scalar(90));
  std::uniform_int_distribution<int> position(0, kViewSide - 1), grey(0, 255);
  for (int i = 0; i < 3000; ++i) {
    cv::circle(view, {position(random), position(random)}, 5 + grey(random) % 40,
               cv::Scalar(grey(random)), cv::FILLED);
  }
  return view;
}

// Correspondences on the flow's 5-pixel grid over the central strip, as the job finds them.
void gridMatches(std::vector<cv::Point2f>& pts1, std::vector<cv::Point2f>& pts2) {
  for (int y = 5; y < kViewSide - 5; y += 5) {
    for (int x = 1265; x < 2335; x += 5) {
      pts1.emplace_back(static_cast<float>(x), static_cast<float>(y));
      pts2.emplace_back(x + 2.5f, y + 0.5f);
    }
  }
}

ringcalib::report::CalibrationReport fullReport(const cv::Mat& view,
                                                const std::vector<cv::Point2f>& pts1,
                                                const std::vector<cv::Point2f>& pts2) {
  ringcalib::report::CalibrationReport report;
  std::mt19937 random(1);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int n = 0; n < 6; ++n) {
    auto& camera = report.camera(n);
    ringcalib::report::IntrinsicReport intrinsic;
    intrinsic.frameSize = cv::Size(3200, 2400);
    intrinsic.solved = true;
    intrinsic.rmsError = 0.2;
    for (int i = 0; i < 40 * 108; ++i) {
      intrinsic.corners.push_back({{3200 * unit(random), 2400 * unit(random)}, unit(random)});
    }
    intrinsic.viewRmsErrors.assign(40, 0.2);
    camera.intrinsic = intrinsic;
    camera.hasIntrinsics = true;
    camera.preview = ringcalib::report::reducedPreview(view);
  }
  for (int k = 0; k < 6; ++k) {
    auto& pair = report.pair(k);
    pair.solved = true;
    pair.correspondences = static_cast<int>(pts1.size());
    ringcalib::report::recordStrips(pair, view, view, 1260, 1080, pts1, pts2);
    for (std::size_t i = 0; i < pts1.size(); ++i) pair.finalErrors.push_back(unit(random));
  }
  return report;
}

void BM_ReducedCopiesOfOneRun(benchmark::State& state) {
  std::mt19937 random(1);
  const cv::Mat view = texturedView(random);
  std::vector<cv::Point2f> pts1, pts2;
  gridMatches(pts1, pts2);
  for (auto _ : state) {
    ringcalib::report::PairReport pair;
    for (int n = 0; n < 6; ++n) {
      benchmark::DoNotOptimize(ringcalib::report::reducedPreview(view));
      ringcalib::report::recordStrips(pair, view, view, 1260, 1080, pts1, pts2);
    }
    benchmark::DoNotOptimize(pair.matches.data());
  }
}
BENCHMARK(BM_ReducedCopiesOfOneRun)->Unit(benchmark::kMillisecond);

void BM_WriteReportFolder(benchmark::State& state) {
  std::mt19937 random(1);
  const cv::Mat view = texturedView(random);
  std::vector<cv::Point2f> pts1, pts2;
  gridMatches(pts1, pts2);
  const auto report = fullReport(view, pts1, pts2);
  const std::string folder =
      (std::filesystem::temp_directory_path() / "ringcalib-report-bench").string();
  std::string error;
  for (auto _ : state) {
    if (!ringcalib::report::writeReport(report, folder, error)) state.SkipWithError(error.c_str());
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WriteReportFolder)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
