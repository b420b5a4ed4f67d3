// Pose of rig-like pairs from decomposeRtFromFundamentalMat (F by RANSAC, then the
// essential-matrix decomposition and the refinement) next to cv::findEssentialMat +
// cv::recoverPose on the same correspondences. Each run reports, as counters, the rotation
// error and the translation direction error in degrees against the ground truth.
#include <cstdint>
#include <iostream>
#include <sstream>

#include <benchmark/benchmark.h>
#include <opencv2/calib3d.hpp>

#include "pose/cpose.h"
#include "tests/support/synthetic_two_view.h"

namespace {

ringcalib::RingPairScene scene(const benchmark::State& state) {
  ringcalib::RingPairOptions options;
  options.correspondences = static_cast<size_t>(state.range(0));
  options.seed = static_cast<std::uint64_t>(state.range(1));
  return ringcalib::makeRingPairScene(options);
}

void report(benchmark::State& state, const ringcalib::RingPairScene& truth, const cv::Mat& R,
            const cv::Mat& t) {
  state.counters["rot_err_deg"] = ringcalib::rig::rotationErrorDeg(R, truth.R);
  state.counters["dir_err_deg"] = ringcalib::rig::directionErrorDeg(t, truth.t);
}

void BM_DecomposeRtFromFundamentalMat(benchmark::State& state) {
  const ringcalib::RingPairScene pair = scene(state);
  cv::Mat R, t;
  double error = 0.0;
  for (auto _ : state) {
    const cv::Mat F = cv::findFundamentalMat(pair.pts1, pair.pts2, cv::FM_RANSAC, 3.0, 0.99);
    // The timing line would break up the table.
    std::ostringstream timingLine;
    std::streambuf* console = std::cout.rdbuf(timingLine.rdbuf());
    error = CPose().decomposeRtFromFundamentalMat(pair.pts1, pair.pts2, pair.K, F, R, t);
    std::cout.rdbuf(console);
  }
  report(state, pair, R, t);
  state.counters["median_px"] = error;
}

void BM_FindEssentialMatRecoverPose(benchmark::State& state) {
  const ringcalib::RingPairScene pair = scene(state);
  cv::Mat R, t;
  for (auto _ : state) {
    cv::Mat inliers;
    const cv::Mat E = cv::findEssentialMat(pair.pts1, pair.pts2, pair.K, cv::RANSAC, 0.999, 1.0,
                                           inliers);
    cv::Mat translation;
    cv::recoverPose(E, pair.pts1, pair.pts2, pair.K, R, translation, inliers);
    // OpenCV's x2 = R x1 + t'; with x2 = R (x1 - t) the camera centre is t = -R^T t'.
    t = -R.t() * translation;
  }
  report(state, pair, R, t);
}

// (correspondences, seed): the test suite's pairs, then full-size pairs.
void pairs(benchmark::internal::Benchmark* b) {
  for (int seed = 1; seed <= 5; ++seed) b->Args({20000, seed});
  for (int seed = 1; seed <= 3; ++seed) b->Args({155520, seed});
  b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
}

BENCHMARK(BM_DecomposeRtFromFundamentalMat)->Apply(pairs);
BENCHMARK(BM_FindEssentialMatRecoverPose)->Apply(pairs);

}  // namespace

BENCHMARK_MAIN();
