#include "calibration/extrinsic/ring_closure_check.h"

#include "calibration/extrinsic/stages.h"
#include "core/number_format.h"
#include "core/result_code.h"
#include "rig/ring_closure.h"

namespace ringcalib::extrinsic {

int checkRingCloses(const std::vector<cv::Matx33d>& rotations, std::ostream& out) {
  const rig::RingClosure ring = rig::computeRingClosure(rotations);
  if (!ring.broken()) return kSuccess;
  const int cameras = static_cast<int>(rotations.size());
  // Formatted here, not by the stream: an "all" run leaves standard output in fixed notation.
  out << "extrinsic calibration failed: the ring does not close, its " << rig::spelledCount(cameras)
      << " pair rotations miss the identity by "
      << formatNumber("%.3f", ring.closureDeg) << " deg (limit "
      << formatNumber("%.1f", rig::kClosureLimitDeg) << " deg); suspect pair "
      << ring.suspect << "-" << rig::nextCamera(ring.suspect, cameras) << std::endl;
  return kComputationFailed;
}

int checkRing(const RingPairs& pairs) {
  std::vector<cv::Matx33d> rotations;
  for (const PairSolution& pair : pairs) rotations.push_back(pair.estimate->pose.R);
  return checkRingCloses(rotations);
}

}  // namespace ringcalib::extrinsic
