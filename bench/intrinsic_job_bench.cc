// The intrinsic job on generated rigs, in one process: on all threads, on one thread, and
// against its floor, the plain work one thread cannot avoid:
//   floor = plain decoding (grab only) of the six videos
//         + the library calls the job makes on its sampled frames, timed on their own
//           (resizes, conversions, inversions, chessboard searches, sub-pixel refinements)
//         + the six fisheye solves.
// Each is reported with its wall time and the processor time of the whole process (all
// threads). Two rigs: the default one (240 frames per camera, the board always in view) and a
// hard one (192 frames, the board out of view for a third of each video, in stretches at the
// start, middle and end, so the cheap test fails often and videos end while it backs off).
// The cost of each camera alone on one thread is printed as well, for projections to more
// cores: with a camera per core the job takes about as long as its slowest camera. And the
// job's time per sampled frame at 1920 x 1208 against 3200 x 2400 (FrameSize/...).
//
// Usage: intrinsic_job_bench [--rigs=DIR] [benchmark flags]
//   --rigs=DIR  where the two rigs are kept between runs (default: <temp>/ringcalib_bench_rigs)

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "calibration/intrinsic/board_detection.h"
#include "calibration/intrinsic/camera_examination.h"
#include "calibration/intrinsic/corner_selection.h"
#include "calibration/intrinsic/fisheye_solve.h"
#include "calibration/intrinsic/intrinsic_job.h"
#include "tools/synthetic_rig.h"

namespace {

using Clock = std::chrono::steady_clock;

struct BenchRig {
  const char* name = "";
  ringcalib::synth::RigOptions options;
  std::string videos;  // filled once generated
  bool sizeOnly = false;  // only for the frame-size comparison
};

std::vector<BenchRig>& rigs() {
  static std::vector<BenchRig> all = [] {
    std::vector<BenchRig> all(3);
    BenchRig& plain = all[0];
    BenchRig& hard = all[1];
    BenchRig& small = all[2];
    plain.name = "default";
    hard.name = "hard";
    hard.options.seed = 2;
    hard.options.framesPerVideo = 192;
    hard.options.absentFraction = 1.0 / 3.0;
    // The default rig again at a real camera's frame size, for the cost per sampled frame.
    small.name = "1920x1208";
    small.sizeOnly = true;
    small.options.videoWidth = 1920;
    small.options.videoHeight = 1208;
    plain.options.images = hard.options.images = small.options.images = false;
    return all;
  }();
  return all;
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time of the process, all threads together.
double processorSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// Silences standard output while alive (the job prints a line per frame).
class MutedOutput {
 public:
  MutedOutput() : original_(std::cout.rdbuf(sink_.rdbuf())) {}
  ~MutedOutput() { std::cout.rdbuf(original_); }

 private:
  std::ostringstream sink_;
  std::streambuf* original_;
};

// Wall and processor seconds of `work`.
template <typename Work>
std::pair<double, double> measure(Work work) {
  const Clock::time_point start = Clock::now();
  const double cpuStart = processorSeconds();
  work();
  return {secondsSince(start), processorSeconds() - cpuStart};
}

void report(benchmark::State& state, std::pair<double, double> wallAndCpu) {
  state.SetIterationTime(wallAndCpu.first);
  state.counters["wall_s"] = wallAndCpu.first;
  state.counters["cpu_s"] = wallAndCpu.second;
  state.counters["cores"] = wallAndCpu.second / wallAndCpu.first;
}

void runJob(const std::string& videos) {
  const std::string file =
      (std::filesystem::temp_directory_path() / "ringcalib_bench_params.json").string();
  int code = 0;
  {
    MutedOutput muted;
    code = ringcalib::intrinsic::calibrate({videos}, file, InputParam::INTRINSIC, {}).code();
  }
  std::filesystem::remove(file);
  if (code != 0) std::cerr << "the intrinsic job returned " << code << std::endl;
}

void BM_Job(benchmark::State& state, int rig, int threads) {
  const int before = cv::getNumThreads();
  if (threads > 0) cv::setNumThreads(threads);
  for (auto _ : state) report(state, measure([&] { runJob(rigs()[rig].videos); }));
  cv::setNumThreads(before);
}

// Runs `call` and adds its duration to `total`.
template <typename Call>
void timed(double& total, Call call) {
  const Clock::time_point start = Clock::now();
  call();
  total += secondsSince(start);
}

// The library calls of the job on the sampled frames, with the job's own decisions (the
// cheap test's back-off, the contrast and straightness tests) taken untimed, then the six
// solves. Decoding and colour conversion of the frames are not counted.
double timeLibraryCalls(const std::string& videos) {
  const cv::Size board(9, 12);
  const int flags = 11;
  std::vector<cv::Point3f> model;
  for (int y = 0; y < board.height; ++y) {
    for (int x = 0; x < board.width; ++x) model.emplace_back(float(x), float(y), 0.0f);
  }
  double total = 0.0;
  int backOff = 0;
  for (int camera = 0; camera < 6; ++camera) {
    std::vector<std::vector<cv::Point2f>> views;
    cv::Size imageSize;
    cv::VideoCapture capture(ringcalib::intrinsic::videoPath(videos, camera), cv::CAP_FFMPEG);
    for (long read = 1; capture.grab(); ++read) {
      if (read % 4 != 0) continue;
      if (backOff > 0 && backOff++ < 4) continue;
      backOff = 0;
      cv::Mat frame;
      capture.retrieve(frame);
      imageSize = frame.size();
      cv::Mat small;
      std::vector<cv::Point2f> corners;
      bool found = false;
      timed(total, [&] {
        cv::resize(frame, small, cv::Size(1000, 750), 0, 0, cv::INTER_LINEAR);
        cv::cvtColor(small, small, cv::COLOR_RGB2GRAY);
        cv::bitwise_not(small, small);
        found = cv::findChessboardCorners(small, board, corners, flags);
      });
      if (!found) {
        backOff = 1;
        continue;
      }
      cv::Mat gray;
      cv::Mat reduced;
      corners.clear();
      timed(total, [&] {
        cv::cvtColor(frame, gray, cv::COLOR_RGB2GRAY);
        cv::bitwise_not(gray, gray);
        cv::resize(gray, reduced, cv::Size(int(gray.cols / 3.2), int(gray.rows / 3.2)), 0, 0,
                   cv::INTER_LINEAR);
        found = cv::findChessboardCorners(reduced, board, corners, flags);
      });
      if (!found || corners.size() != model.size()) continue;
      for (cv::Point2f& c : corners) c = cv::Point2f(float(c.x * 3.2), float(c.y * 3.2));
      timed(total, [&] {
        cv::cornerSubPix(gray, corners, cv::Size(15, 15), cv::Size(-1, -1),
                         cv::TermCriteria(3, 100, 0.01));
      });
      if (0.1 > ringcalib::intrinsic::shapeResponse(gray, corners)) continue;
      if (!ringcalib::intrinsic::testCorners(corners, board.width, board.height)) continue;
      views.push_back(corners);
    }
    std::vector<std::vector<cv::Point3f>> objects(views.size(), model);
    ringcalib::intrinsic::selectCorners(views, objects, 3200, 2400);
    if (views.size() < ringcalib::intrinsic::kMinViews) continue;
    std::ostringstream muted;
    timed(total, [&] { ringcalib::intrinsic::solveFisheye(views, objects, camera, imageSize, muted); });
  }
  return total;
}

double timeDecoding(const std::string& videos) {
  const Clock::time_point start = Clock::now();
  for (int camera = 0; camera < 6; ++camera) {
    cv::VideoCapture capture(ringcalib::intrinsic::videoPath(videos, camera), cv::CAP_FFMPEG);
    while (capture.grab()) {
    }
  }
  return secondsSince(start);
}

// The floor's wall time is the sum of its timed parts; its processor time is the whole
// measurement's, which includes the untimed retrieval of the examined frames.
void BM_Floor(benchmark::State& state, int rig) {
  const int before = cv::getNumThreads();
  cv::setNumThreads(1);
  for (auto _ : state) {
    double decoding = 0.0;
    double library = 0.0;
    const auto [wall, cpu] = measure([&] {
      decoding = timeDecoding(rigs()[rig].videos);
      library = timeLibraryCalls(rigs()[rig].videos);
    });
    report(state, {decoding + library, cpu});
    state.counters["decode_s"] = decoding;
    state.counters["library_s"] = library;
    (void)wall;
  }
  cv::setNumThreads(before);
}

// Each camera examined and solved alone, on one thread, in order (so each knows its
// back-off start): its wall and processor seconds.
void BM_PerCamera(benchmark::State& state, int rig) {
  const int before = cv::getNumThreads();
  cv::setNumThreads(1);
  for (auto _ : state) {
    const std::vector<std::string> folders{rigs()[rig].videos};
    std::ostringstream format;
    ringcalib::intrinsic::SharedCameras shared(ringcalib::rig::kCameras, 0);
    ringcalib::intrinsic::CameraExaminer examiner(folders, shared, false, format);
    double slowest = 0.0;
    double total = 0.0;
    for (int camera = 0; camera < 6; ++camera) {
      const auto [wall, cpu] = measure([&] { examiner.examine(camera); });
      state.counters["cam" + std::to_string(camera) + "_wall_s"] = wall;
      state.counters["cam" + std::to_string(camera) + "_cpu_s"] = cpu;
      slowest = std::max(slowest, wall);
      total += wall;
    }
    state.SetIterationTime(total);
    state.counters["slowest_s"] = slowest;
  }
  cv::setNumThreads(before);
}

// The job's time per sampled frame on one thread at 1920 x 1208 against 3200 x 2400 (the
// same rig's sweep; the windows and the reduction follow the frame size), alternated twice,
// the faster of each: "ratio" above 1 means a smaller frame costs more per sample.
void BM_FrameSizeRatio(benchmark::State& state, int large, int small) {
  const int before = cv::getNumThreads();
  cv::setNumThreads(1);
  const auto perSample = [](int rig) {
    const ringcalib::synth::RigOptions& options = rigs()[rig].options;
    const double samples = 6.0 * (options.framesPerVideo / 4);
    return measure([&] { runJob(rigs()[rig].videos); }).first / samples;
  };
  for (auto _ : state) {
    double largeBest = 1e9, smallBest = 1e9;
    for (int round = 0; round < 2; ++round) {
      largeBest = std::min(largeBest, perSample(large));
      smallBest = std::min(smallBest, perSample(small));
    }
    state.SetIterationTime(largeBest + smallBest);
    state.counters["s_per_sample_3200x2400"] = largeBest;
    state.counters["s_per_sample_1920x1208"] = smallBest;
    state.counters["ratio"] = smallBest / largeBest;
  }
  cv::setNumThreads(before);
}

void registerBenchmarks() {
  benchmark::RegisterBenchmark("FrameSize/1920x1208_over_3200x2400", BM_FrameSizeRatio, 0, 2)
      ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
  for (int rig = 0; rig < static_cast<int>(rigs().size()); ++rig) {
    if (rigs()[rig].sizeOnly) continue;
    const std::string name = rigs()[rig].name;
    for (const auto& [label, threads] : {std::pair{"all_threads", 0}, {"one_thread", 1}}) {
      benchmark::RegisterBenchmark(("Job/" + name + "/" + label).c_str(), BM_Job, rig, threads)
          ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
    }
    benchmark::RegisterBenchmark(("Floor/" + name).c_str(), BM_Floor, rig)
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark(("PerCamera/" + name).c_str(), BM_PerCamera, rig)
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
  }
}

// Takes --rigs=DIR out of the arguments before the benchmark library sees them.
std::string takeRigsOption(int& argc, char** argv) {
  const std::string prefix = "--rigs=";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind(prefix, 0) != 0) continue;
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
    return arg.substr(prefix.size());
  }
  return (std::filesystem::temp_directory_path() / "ringcalib_bench_rigs").string();
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = takeRigsOption(argc, argv);
  benchmark::Initialize(&argc, argv);
  for (BenchRig& rig : rigs()) {
    const std::filesystem::path out = folder / rig.name;
    if (!std::filesystem::exists(out / "truth.json")) {
      std::cerr << "generating the " << rig.name << " rig in " << out << std::endl;
      ringcalib::synth::generateRig(out.string(), rig.options);
    }
    rig.videos = (out / "video").string();
  }
  registerBenchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
