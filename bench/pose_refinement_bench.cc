// optimizeRt on a full camera pair (155520 correspondences, 100 iterations) against the
// same iterations written with the 2N x 6 Jacobian and matrix products. Prints both times,
// their ratio and whether the two poses agree within 1e-6 (degrees, components of t).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include "pose/cpose.h"
#include "pose/order_statistics.h"
#include "pose/pose_refinement.h"
#include "tests/support/synthetic_two_view.h"

using ringcalib::median;

namespace {

constexpr size_t kCorrespondences = 155520;
constexpr int kIterations = 100;
constexpr double kAgreement = 1e-6;

struct Problem {
  ringcalib::RingPairScene scene;
  cv::Mat startR, startT;
};

// A rig-like pair with noise and outliers, started about 0.3 degrees off and from the
// fixed translation direction of the pose-from-F step.
const Problem& problem() {
  static const Problem instance = [] {
    ringcalib::RingPairOptions options;
    options.correspondences = kCorrespondences;
    Problem p{ringcalib::makeRingPairScene(options), cv::Mat(), cv::Mat()};
    const CPose pose;
    double x, y, z;
    pose.rotationToEuler(p.scene.R, x, y, z);
    pose.eulerToRotation(x + 0.003, y - 0.004, z + 0.002, p.startR);
    p.startT = (cv::Mat_<double>(3, 1) << 0.8, 0.0, -0.4);
    return p;
  }();
  return instance;
}

// The straightforward iteration: triangulated points, J and r as matrices, then J^T J and
// J^T r by matrix products.
ringcalib::NormalEquations matrixNormalEquations(const std::vector<cv::Point2f>& pts1,
                                                 const std::vector<cv::Point2f>& pts2,
                                                 const cv::Mat& K, const cv::Mat& R,
                                                 const cv::Mat& t) {
  const CPose pose;
  std::vector<cv::Point3f> points3D;
  pose.triangulation(K, R, t, pts1, pts2, points3D);
  cv::Mat J, r;
  const double median = pose.jacobianAndResidual(pts1, pts2, points3D, K, R, t, J, r);
  const cv::Mat JtJ = J.t() * J;
  const cv::Mat Jtr = J.t() * r;
  return {cv::Matx66d(JtJ), cv::Vec6d(Jtr), median};
}

struct Outcome {
  cv::Mat R, t;
  double error = 0.0;
};
std::map<std::string, Outcome> outcomes;

template <typename Refine>
void runRefinement(benchmark::State& state, const std::string& name, const Refine& refine) {
  const Problem& p = problem();
  Outcome outcome;
  for (auto _ : state) {
    outcome.R = p.startR.clone();
    outcome.t = p.startT.clone();
    outcome.error = refine(p, outcome.R, outcome.t);
  }
  state.counters["median_px"] = outcome.error;
  state.counters["rot_err_deg"] = ringcalib::rig::rotationErrorDeg(outcome.R, p.scene.R);
  outcomes[name] = outcome;
}

double fused(const Problem& p, cv::Mat& R, cv::Mat& t) {
  return CPose().optimizeRt(p.scene.pts1, p.scene.pts2, p.scene.K, R, t, kIterations);
}

void BM_OptimizeRt(benchmark::State& state) { runRefinement(state, "fused", fused); }

void BM_OptimizeRtOneThread(benchmark::State& state) {
  const int threads = cv::getNumThreads();
  cv::setNumThreads(1);
  runRefinement(state, "fused, one thread", fused);
  cv::setNumThreads(threads);
}

void BM_OptimizeRtMatrixProducts(benchmark::State& state) {
  runRefinement(state, "matrix products", [](const Problem& p, cv::Mat& R, cv::Mat& t) {
    return ringcalib::refinePose(R, t, kIterations, [&](const cv::Mat& rotation,
                                                        const cv::Mat& translation) {
      return matrixNormalEquations(p.scene.pts1, p.scene.pts2, p.scene.K, rotation, translation);
    });
  });
}

BENCHMARK(BM_OptimizeRt)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_OptimizeRtOneThread)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_OptimizeRtMatrixProducts)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

// Keeps the wall time of every repetition, by benchmark function.
class TimeKeepingReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, std::vector<double>> milliseconds;

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        milliseconds[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
  }
};

// Largest difference of the angle triples, in degrees.
double angleDifferenceDegrees(const cv::Mat& Ra, const cv::Mat& Rb) {
  double a[3], b[3];
  CPose().rotationToEuler(Ra, a[0], a[1], a[2]);
  CPose().rotationToEuler(Rb, b[0], b[1], b[2]);
  double largest = 0.0;
  for (int k = 0; k < 3; ++k) largest = std::max(largest, std::abs(a[k] - b[k]) * 180 / CPose::PI);
  return largest;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TimeKeepingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto& ms = reporter.milliseconds;
  for (const auto& [name, times] : ms) {
    std::printf("%-28s median %9.1f ms   (", name.c_str(), median(times));
    for (double time : times) std::printf(" %.1f", time);
    std::printf(" )\n");
  }
  if (ms.count("BM_OptimizeRt") && ms.count("BM_OptimizeRtMatrixProducts"))
    std::printf("matrix products / fused: %.2fx\n",
                median(ms.at("BM_OptimizeRtMatrixProducts")) / median(ms.at("BM_OptimizeRt")));
  if (ms.count("BM_OptimizeRt") && ms.count("BM_OptimizeRtOneThread"))
    std::printf("fused one thread / fused: %.2fx\n",
                median(ms.at("BM_OptimizeRtOneThread")) / median(ms.at("BM_OptimizeRt")));

  int status = 0;
  if (outcomes.count("fused") && outcomes.count("matrix products")) {
    const Outcome& a = outcomes.at("fused");
    const Outcome& b = outcomes.at("matrix products");
    const double angles = angleDifferenceDegrees(a.R, b.R);
    const double translation = cv::norm(a.t, b.t, cv::NORM_INF);
    const bool agree = angles <= kAgreement && translation <= kAgreement;
    std::printf("fused vs matrix products: angles %.3g deg, t %.3g, errors %.9f / %.9f: %s\n",
                angles, translation, a.error, b.error, agree ? "agree" : "DISAGREE");
    if (!agree) status = 1;
  }
  if (outcomes.count("fused") && outcomes.count("fused, one thread")) {
    const Outcome& a = outcomes.at("fused");
    const Outcome& b = outcomes.at("fused, one thread");
    const bool identical = cv::norm(a.R, b.R, cv::NORM_INF) == 0 &&
                           cv::norm(a.t, b.t, cv::NORM_INF) == 0 && a.error == b.error;
    std::printf("fused on all threads vs one thread: %s\n",
                identical ? "bit-identical" : "DIFFERENT");
    if (!identical) status = 1;
  }
  return status;
}
