#include "calibration/extrinsic/ring_closure_check.h"

#include "calibration/extrinsic/stages.h"
#include "core/number_format.h"
#include "core/result_code.h"
#include "rig/ring_closure.h"

namespace ringcalib::extrinsic {

int checkRingCloses(const std::array<cv::Matx33d, rig::kCameras>& rotations, std::ostream& out) {
  const rig::RingClosure ring = rig::computeRingClosure(rotations);
  if (!ring.broken()) return kSuccess;
  // Formatted here, not by the stream: an "all" run leaves standard output in fixed notation.
  out << "extrinsic calibration failed: the ring does not close, its six pair rotations miss "
         "the identity by "
      << formatNumber("%.3f", ring.closureDeg) << " deg (limit "
      << formatNumber("%.1f", rig::kClosureLimitDeg) << " deg); suspect pair "
      << ring.suspect << "-" << rig::nextCamera(ring.suspect) << std::endl;
  return kComputationFailed;
}

int checkRing(const RingPairs& pairs) {
  std::array<cv::Matx33d, rig::kCameras> rotations;
  for (int k = 0; k < rig::kCameras; ++k) rotations[k] = pairs[k].estimate->pose.R;
  return checkRingCloses(rotations);
}

}  // namespace ringcalib::extrinsic
