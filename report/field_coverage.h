#pragma once

#include <iterator>

#include "report/report_data.h"
#include "rig/lens_field.h"

// The field a camera's solve covers, in bands of angle off the axis.
namespace ringcalib::report {

// The bands' edges, degrees: 0-30, 30-45, 45-60, 60-75, 75-90, beyond 90.
inline constexpr double kAngleBandEdgesDeg[] = {0.0, 30.0, 45.0, 60.0, 75.0, 90.0, 180.0};
inline constexpr int kAngleBands = static_cast<int>(std::size(kAngleBandEdgesDeg)) - 1;

// The band of an angle off the axis (degrees): the index of the band that holds it.
int angleBand(double angleDeg);

// Records into `intrinsic` the field of its solve (K, D over its frame size): how far its
// corners reach and the residual of its corners per band.
void recordField(IntrinsicReport& intrinsic, const rig::FisheyeCamera& camera,
                 const rig::LensField& field, double coveredDeg);

}  // namespace ringcalib::report
