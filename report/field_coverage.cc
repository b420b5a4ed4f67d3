#include "report/field_coverage.h"

#include <cmath>
#include <iterator>

namespace ringcalib::report {

void recordField(IntrinsicReport& intrinsic, const rig::FisheyeCamera& camera,
                 const rig::LensField& field, double coveredDeg) {
  FieldReport report;
  report.coveredDeg = coveredDeg;
  report.neededDeg = field.neededDeg;
  report.edgeDeg = field.edgeDeg;
  report.foldDeg = field.foldDeg;
  constexpr int kBands = static_cast<int>(std::size(kAngleBandEdgesDeg)) - 1;
  std::vector<double> squares(kBands, 0.0);
  for (int b = 0; b < kBands; ++b) {
    report.bands.push_back({kAngleBandEdgesDeg[b], kAngleBandEdgesDeg[b + 1], 0, kNotMeasured});
  }
  const rig::FisheyeLens lens(camera);
  for (const CornerResidual& corner : intrinsic.corners) {
    const double angle = rig::angleOffAxisDeg(lens, corner.position);
    int band = 0;
    while (band + 1 < kBands && angle >= kAngleBandEdgesDeg[band + 1]) ++band;
    ++report.bands[band].corners;
    squares[band] += static_cast<double>(corner.residual) * corner.residual;
  }
  for (int b = 0; b < kBands; ++b) {
    if (report.bands[b].corners > 0) report.bands[b].rmsPx = std::sqrt(squares[b] / report.bands[b].corners);
  }
  intrinsic.field = report;
}

}  // namespace ringcalib::report
