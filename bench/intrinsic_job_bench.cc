// The intrinsic job on a generated rig against its floor, measured in the same run:
//   floor = plain decoding (grab only) of the six videos
//         + the library calls the job makes on its sampled frames, timed on their own
//           (resizes, conversions, inversions, chessboard searches, sub-pixel refinements)
//         + the six fisheye solves.
// The job may come close to the floor but not below its parts run one after the other,
// unless decoding overlaps the examination of earlier frames. Besides wall time, the
// processor time of the whole process (all threads) is reported for the job and for the
// floor, which is the steadier figure on a machine that other work shares.
//
// Usage: intrinsic_job_bench [--rig=DIR] [--frames=N] [benchmark flags]
//   --rig=DIR   a rig made by ringcalib-synth (DIR/video/origin_<n>.mp4); without it a rig
//               of N frames per camera (default 120) is generated in a temporary folder.

#include <chrono>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "calibration/video_calibration.h"
#include "tools/synthetic_rig.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string gVideoFolder;

std::string videoPath(int camera) {
  return gVideoFolder + "/origin_" + std::to_string(camera) + ".mp4";
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

double timeJob() {
  const std::string file =
      (std::filesystem::temp_directory_path() / "ringcalib_bench_params.json").string();
  VideoCalibration calibration;
  const InputParam::CalibrationType type = InputParam::INTRINSIC;
  int code = 0;
  const Clock::time_point start = Clock::now();
  {
    MutedOutput muted;
    code = calibration.Calibrate({gVideoFolder}, file, type);
  }
  const double seconds = secondsSince(start);
  std::filesystem::remove(file);
  if (code != 0) std::cerr << "the intrinsic job returned " << code << std::endl;
  return seconds;
}

double timeDecoding() {
  const Clock::time_point start = Clock::now();
  for (int camera = 0; camera < 6; ++camera) {
    cv::VideoCapture capture(videoPath(camera));
    while (capture.grab()) {
    }
  }
  return secondsSince(start);
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
double timeLibraryCalls() {
  const cv::Size board(9, 12);
  const int flags = 11;
  VideoCalibration checks;  // for shapeResponse, testCorners, selectCorners: untimed
  std::vector<cv::Point3f> model;
  for (int y = 0; y < board.height; ++y) {
    for (int x = 0; x < board.width; ++x) model.emplace_back(float(x), float(y), 0.0f);
  }
  double total = 0.0;
  int backOff = 0;
  for (int camera = 0; camera < 6; ++camera) {
    std::vector<std::vector<cv::Point2f>> views;
    cv::Size imageSize;
    cv::VideoCapture capture(videoPath(camera));
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
      if (0.1 > checks.shapeResponse(gray, corners)) continue;
      if (!checks.testCorners(corners, board.width, board.height)) continue;
      views.push_back(corners);
    }
    std::vector<std::vector<cv::Point3f>> objects(views.size(), model);
    checks.selectCorners(views, objects, 3200, 2400);
    if (views.size() < 20) continue;
    cv::Matx33d K;
    cv::Vec4d D;
    MutedOutput muted;
    timed(total, [&] { checks.runFisheyeCalibration2(views, objects, camera, 0, imageSize, K, D); });
  }
  return total;
}

void BM_IntrinsicJobAgainstFloor(benchmark::State& state) {
  for (auto _ : state) {
    const double jobStart = processorSeconds();
    const double job = timeJob();
    const double floorStart = processorSeconds();
    const double decoding = timeDecoding();
    const double library = timeLibraryCalls();
    const double floorEnd = processorSeconds();
    state.SetIterationTime(job);
    state.counters["job_s"] = job;
    state.counters["decode_s"] = decoding;
    state.counters["library_s"] = library;
    state.counters["floor_s"] = decoding + library;
    state.counters["ratio"] = job / (decoding + library);
    // The floor's processor time includes the untimed retrieval of the examined frames.
    state.counters["job_cpu_s"] = floorStart - jobStart;
    state.counters["floor_cpu_s"] = floorEnd - floorStart;
  }
}
BENCHMARK(BM_IntrinsicJobAgainstFloor)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// Takes --rig and --frames out of the arguments before the benchmark library sees them.
std::string takeOption(int& argc, char** argv, const std::string& name) {
  const std::string prefix = "--" + name + "=";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind(prefix, 0) != 0) continue;
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
    return arg.substr(prefix.size());
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string rig = takeOption(argc, argv, "rig");
  const std::string frames = takeOption(argc, argv, "frames");
  benchmark::Initialize(&argc, argv);
  std::filesystem::path generated;
  if (rig.empty()) {
    generated = std::filesystem::temp_directory_path() / "ringcalib_bench_rig";
    ringcalib::synth::RigOptions options;
    options.framesPerVideo = frames.empty() ? 120 : std::atoi(frames.c_str());
    options.images = false;
    std::cerr << "generating a rig of " << options.framesPerVideo << " frames per camera in "
              << generated << std::endl;
    ringcalib::synth::generateRig(generated.string(), options);
    gVideoFolder = (generated / "video").string();
  } else {
    gVideoFolder = rig + "/video";
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!generated.empty()) std::filesystem::remove_all(generated);
  return 0;
}
