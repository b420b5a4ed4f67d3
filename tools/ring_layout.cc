#include "tools/ring_layout.h"

#include <cmath>

#include "core/input_param.h"
#include "rig/prepared_view.h"
#include "tools/random_stream.h"

namespace ringcalib::synth {
namespace {

constexpr std::uint64_t kSpacingStream = 720;  // a stream of its own: the ring's draw stays
constexpr double kMostTiltDegrees = 35.0;
constexpr double kMostJitterDegrees = 10.0;

}  // namespace

bool RingLayout::isStandard() const {
  return cameras == rig::kCameras && tiltDegrees == 0.0 && spacingJitterDegrees == 0.0 &&
         mount == SensorMount::kQuarterTurned;
}

std::string layoutProblem(const RingLayout& layout) {
  // The negated comparisons also refuse NaN.
  if (layout.cameras < InputParam::kMinCameras || layout.cameras > InputParam::kMaxCameras) return "the ring must have 3 to 8 cameras";
  if (!(std::abs(layout.tiltDegrees) <= kMostTiltDegrees)) return "the tilt must lie between -35 and 35 degrees";
  if (!(layout.spacingJitterDegrees >= 0.0 && layout.spacingJitterDegrees <= kMostJitterDegrees))
    return "the spacing jitter must lie between 0 and 10 degrees";
  return "";
}

cv::Matx33d viewFromSensor(SensorMount mount) {
  switch (mount) {
    case SensorMount::kUpright:
      return cv::Matx33d::eye();
    case SensorMount::kQuarterTurnedOtherWay:
      return rig::quarterTurn().t();
    case SensorMount::kQuarterTurned:
      break;
  }
  return rig::quarterTurn();
}

std::string mountName(SensorMount mount) {
  switch (mount) {
    case SensorMount::kUpright:
      return "upright";
    case SensorMount::kQuarterTurnedOtherWay:
      return "quarter_turned_other_way";
    case SensorMount::kQuarterTurned:
      break;
  }
  return "quarter_turned";
}

std::vector<double> ringBearings(std::uint64_t seed, const RingLayout& layout) {
  RandomStream jitter(seed, kSpacingStream);
  const double jitterRadians = layout.spacingJitterDegrees * CV_PI / 180.0;
  std::vector<double> bearings;
  for (int n = 0; n < layout.cameras; ++n) {
    double bearing = 2.0 * CV_PI / layout.cameras * n;
    if (jitterRadians > 0.0) bearing += jitter.uniform(-jitterRadians, jitterRadians);
    bearings.push_back(bearing);
  }
  return bearings;
}

}  // namespace ringcalib::synth
