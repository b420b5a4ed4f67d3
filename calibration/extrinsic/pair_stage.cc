// The extrinsic job's pair stage: the six neighbouring pairs of the prepared views.
#include <iostream>
#include <sstream>

#include "calibration/extrinsic/extrinsic_job.h"
#include "calibration/extrinsic/progress.h"
#include "core/result_code.h"
#include "core/task_graph.h"
#include "pose/reprojection_errors.h"
#include "report/view_samples.h"
#include "rig/epipolar_consistency.h"
#include "rig/prepared_view.h"

using namespace ringcalib::extrinsic;
using ringcalib::kSuccess;
using ringcalib::rig::kCameras;

namespace {

// What solving one pair gives, kept until the pair's turn to be printed.
struct SolvedPair {
  PairSolution solution;
  std::string output;  // the lines the pair printed
  ringcalib::report::PairReport record;
};

// What the report shows of a pair: as far as its solve got.
void recordPair(ringcalib::report::PairReport& record, const PairSolution& solution,
                const cv::Mat& K) {
  namespace report = ringcalib::report;
  const PairMatches& matches = solution.matches;
  if (solution.matched) {
    record.correspondences = static_cast<int>(matches.pts1.size());
    report::recordStrips(record, matches.warpedFirst, matches.warpedSecond, matches.strip.start,
                         matches.strip.size(), matches.warped1, matches.warped2);
  }
  if (solution.fitted) {
    record.consistentWithF = ringcalib::rig::countConsistentWithF(
        matches.pts1, matches.pts2, solution.fit.F, ringcalib::rig::kSampsonLimitPx);
    for (std::size_t k = 0; k < solution.fit.inliers.size() && k < matches.pts1.size(); ++k) {
      if (solution.fit.inliers[k] == 0) continue;
      record.inliers1.push_back(matches.pts1[k]);
      record.inliers2.push_back(matches.pts2[k]);
    }
  }
  if (solution.posed) {
    const PoseEstimate& pose = solution.pose;
    report::recordPose(record, pose.error, pose.R, pose.t, pose.anglesDeg,
                       ringcalib::poseReprojectionErrors(matches.pts1, matches.pts2, K, pose.R,
                                                         pose.t));
  }
}

// The last line of `text` (which ends with a line end).
std::string lastLine(const std::string& text) {
  const std::size_t start = text.size() < 2 ? std::string::npos : text.rfind('\n', text.size() - 2);
  return start == std::string::npos ? text : text.substr(start + 1);
}

}  // namespace

int ExtrinsicCalibration::solvePairs(const PreparedViews& prepared, PairLines lines,
                                     RingPairs& solutions) {
  // The pairs are solved on worker threads; this thread takes them in the job's order and
  // prints them, so the output is the same on any number of threads.
  const std::array<cv::Mat, kCameras>& views = prepared.views;
  std::array<SolvedPair, kCameras> pairs;
  std::array<int, kCameras> solving;
  const cv::Mat Knew(ringcalib::rig::targetCamera());
  std::ostringstream format;  // the pairs print as standard output would
  format.copyfmt(std::cout);
  const bool reporting = report_ != nullptr;
  ringcalib::TaskGraph tasks;
  for (int i = 0; i < kCameras; ++i) {
    const int j = ringcalib::rig::nextCamera(i);
    solving[i] = tasks.add([&, i, j] {
      SolvedPair& pair = pairs[i];
      std::ostringstream out;
      out.copyfmt(format);
      solvePair(i, j, views[i], views[j], Knew, Knew, pair.solution, out);
      pair.output = out.str();
      if (reporting) {
        pair.record.pair = i;
        pair.record.first = i;
        pair.record.second = j;
        recordPair(pair.record, pair.solution, Knew);
      }
      PairMatches& matches = pair.solution.matches;
      if (ringAdjust_ && pair.solution.posed) {
        matches.refined = refineSamples(matches.warpedFirst, matches.warpedSecond, matches.strip,
                                        matches.warped1, matches.warped2,
                                        pair.solution.fit.inliers);
      }
      // The warped views are the pair's largest buffers; nothing reads them after this.
      pair.solution.matches.warpedFirst.release();
      pair.solution.matches.warpedSecond.release();
    });
  }
  tasks.start(cv::getNumThreads());

  // Camera i with the next one around the ring. Without all its lines a pair prints only
  // the line that says why it failed, its last.
  for (int i = 0; i < kCameras; ++i) {
    tasks.wait(solving[i]);
    const int code = pairs[i].solution.code;
    if (lines == PairLines::kAll) {
      std::cout << pairs[i].output << std::flush;
    } else if (code != kSuccess) {
      std::cout << lastLine(pairs[i].output) << std::flush;
    }
    if (reporting) report_->pair(i) = std::move(pairs[i].record);
    solutions[i] = std::move(pairs[i].solution);
    if (code != kSuccess) return code;
    std::cout << "progress:" << pairProgress(i, progressShare_) << std::endl;
  }
  return kSuccess;
}
