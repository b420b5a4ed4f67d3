#include "calibration/ring_check.h"

#include "core/result_code.h"
#include "report/assessment.h"
#include "report/number_format.h"
#include "report/ring_closure.h"

namespace ringcalib::extrinsic {

int checkRingCloses(const std::array<cv::Matx33d, kCameras>& rotations, std::ostream& out) {
  const report::RingClosure ring = report::computeRingClosure(rotations);
  // A closure that is not a number fails too.
  if (ring.closureDeg <= report::kClosureCheckDeg) return kSuccess;
  // Formatted here, not by the stream: an "all" run leaves standard output in fixed notation.
  out << "extrinsic calibration failed: the ring does not close, its six pair rotations miss "
         "the identity by "
      << report::formatNumber("%.3f", ring.closureDeg) << " deg (limit "
      << report::formatNumber("%.1f", report::kClosureCheckDeg) << " deg); suspect pair "
      << ring.suspect << "-" << (ring.suspect + 1) % kCameras << std::endl;
  return kComputationFailed;
}

}  // namespace ringcalib::extrinsic
