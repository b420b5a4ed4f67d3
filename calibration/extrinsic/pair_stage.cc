// The extrinsic job's pair stage: the ring's neighbouring pairs, from the prepared views of the
// standard rig or from the stills of any other layout.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

#include "calibration/extrinsic/progress.h"
#include "calibration/extrinsic/stages.h"
#include "core/result_code.h"
#include "core/task_graph.h"
#include "pose/reprojection_errors.h"
#include "report/view_samples.h"
#include "rig/epipolar_consistency.h"
#include "rig/prepared_view.h"
#include "rig/ring_frame.h"

namespace ringcalib::extrinsic {

namespace {

// What solving one pair gives, kept until the pair's turn to be printed.
struct SolvedPair {
  PairSolution solution;
  std::string output;  // the lines the pair printed
  report::PairReport record;
};

// What the report shows of a pair: as far as its solve got.
void recordPair(report::PairReport& record, const PairSolution& solution) {
  if (!solution.matches) return;
  const PairMatches& matches = *solution.matches;
  record.correspondences = static_cast<int>(matches.pts1.size());
  report::recordStrips(record, matches.warpedFirst, matches.warpedSecond, matches.strip.start,
                       matches.strip.size(), matches.warped1, matches.warped2);
  if (solution.fit) {
    const FundamentalFit& fit = *solution.fit;
    record.consistentWithF =
        rig::countConsistentWithF(matches.pts1, matches.pts2, fit.F, rig::kSampsonLimitPx);
    for (std::size_t k = 0; k < fit.inliers.size() && k < matches.pts1.size(); ++k) {
      if (fit.inliers[k] == 0) continue;
      record.inlierRays1.push_back(solution.view.firstRay(matches.pts1[k]));
      record.inlierRays2.push_back(solution.view.secondRay(matches.pts2[k]));
    }
  }
  if (solution.estimate) {
    const PoseEstimate& estimate = *solution.estimate;
    const rig::PairPose between = solution.view.prepared ? estimate.pose : solution.view.toViews(estimate.pose);
    report::recordPose(record, estimate.error, estimate.pose, estimate.anglesDeg,
                       poseReprojectionErrors(matches.pts1, matches.pts2, cv::Mat(solution.view.K),
                                              cv::Mat(between.R), cv::Mat(between.t)));
  }
}

// The last line of `text` (which ends with a line end).
std::string lastLine(const std::string& text) {
  const std::size_t start = text.size() < 2 ? std::string::npos : text.rfind('\n', text.size() - 2);
  return start == std::string::npos ? text : text.substr(start + 1);
}

}  // namespace

Result<RingPairs> solvePairs(const PreparedViews& prepared, PairLines lines, bool remeasure,
                             double progressShare, report::CalibrationReport* report) {
  // The pairs are solved on worker threads; this thread takes them in the job's order and
  // prints them, so the output is the same on any number of threads.
  const int cameras = prepared.cameras();
  std::vector<SolvedPair> pairs(cameras);
  std::vector<int> solving(cameras);
  RingPairs solutions(cameras);
  const cv::Mat Knew(rig::targetCamera());
  // Another layout's pairs are compared in views of one pinhole camera for the whole ring, as
  // sharp as the lenses' centres, up to the standard rig's.
  double focal = 0.0;
  for (const rig::FisheyeCamera& lens : prepared.lenses) focal += 0.5 * (lens.K(0, 0) + lens.K(1, 1)) / cameras;
  focal = std::min(focal, rig::kViewFocal);
  const int viewSize = 2 * static_cast<int>(std::lround(focal * rig::kViewCentre / rig::kViewFocal));
  const double centre = 0.5 * (viewSize - 1);
  const cv::Matx33d frameCamera(focal, 0.0, centre, 0.0, focal, centre, 0.0, 0.0, 1.0);
  std::ostringstream format;  // the pairs print as standard output would
  format.copyfmt(std::cout);
  const bool reporting = report != nullptr;
  TaskGraph tasks;
  for (int i = 0; i < cameras; ++i) {
    const int j = rig::nextCamera(i, cameras);
    solving[i] = tasks.add([&, i, j] {
      SolvedPair& pair = pairs[i];
      std::ostringstream out;
      out.copyfmt(format);
      if (prepared.frame == rig::PoseFrame::kPrepared) {
        pair.solution = solvePair(i, j, prepared.views[i], prepared.views[j], Knew, Knew, out);
      } else {
        pair.solution = solvePairInFrame(i, j, prepared.stills[i], prepared.lenses[i], prepared.stills[j],
                                         prepared.lenses[j], rig::pairFrame(prepared.layout, i), frameCamera,
                                         viewSize, out);
      }
      pair.output = out.str();
      if (reporting) {
        pair.record.pair = i;
        pair.record.first = i;
        pair.record.second = j;
        recordPair(pair.record, pair.solution);
      }
      if (!pair.solution.matches) return;
      PairMatches& matches = *pair.solution.matches;
      if (remeasure && pair.solution.estimate) {
        matches.refined = refineSamples(matches.warpedFirst, matches.warpedSecond, matches.strip,
                                        matches.warped1, matches.warped2,
                                        pair.solution.fit->inliers);
      }
      // The warped views are the pair's largest buffers; nothing reads them after this.
      matches.warpedFirst.release();
      matches.warpedSecond.release();
    });
  }
  tasks.start(cv::getNumThreads());

  // Camera i with the next one around the ring. Without all its lines a pair prints only
  // the line that says why it failed, its last.
  for (int i = 0; i < cameras; ++i) {
    tasks.wait(solving[i]);
    const int code = pairs[i].solution.code;
    if (lines == PairLines::kAll) {
      std::cout << pairs[i].output << std::flush;
    } else if (code != kSuccess) {
      std::cout << lastLine(pairs[i].output) << std::flush;
    }
    if (reporting) report->pair(i) = std::move(pairs[i].record);
    if (code != kSuccess) return Result<RingPairs>::failure(code);
    solutions[i] = std::move(pairs[i].solution);
    std::cout << "progress:" << pairProgress(i, progressShare, cameras) << std::endl;
  }
  return solutions;
}

}  // namespace ringcalib::extrinsic
