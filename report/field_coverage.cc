#include "report/field_coverage.h"

#include <cmath>

namespace ringcalib::report {

int angleBand(double angleDeg) {
  int band = 0;
  while (band + 1 < kAngleBands && angleDeg >= kAngleBandEdgesDeg[band + 1]) ++band;
  return band;
}

void recordField(IntrinsicReport& intrinsic, const rig::FisheyeCamera& camera,
                 const rig::LensField& field, double coveredDeg) {
  FieldReport report;
  report.coveredDeg = coveredDeg;
  report.neededDeg = field.neededDeg;
  report.edgeDeg = field.edgeDeg;
  report.foldDeg = field.foldDeg;
  std::vector<double> squares(kAngleBands, 0.0);
  for (int b = 0; b < kAngleBands; ++b) {
    report.bands.push_back({kAngleBandEdgesDeg[b], kAngleBandEdgesDeg[b + 1], 0, kNotMeasured});
  }
  const rig::FisheyeLens lens(camera);
  for (const CornerResidual& corner : intrinsic.corners) {
    const int band = angleBand(rig::angleOffAxisDeg(lens, corner.position));
    ++report.bands[band].corners;
    squares[band] += static_cast<double>(corner.residual) * corner.residual;
  }
  for (int b = 0; b < kAngleBands; ++b) {
    if (report.bands[b].corners > 0) report.bands[b].rmsPx = std::sqrt(squares[b] / report.bands[b].corners);
  }
  intrinsic.field = report;
}

}  // namespace ringcalib::report
