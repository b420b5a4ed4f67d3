#include "tools/camera_draw.h"

#include <algorithm>

#include "tools/rig_truth.h"
#include "tools/random_stream.h"

namespace ringcalib::synth {
namespace {

constexpr std::uint64_t kCameraStream = 100;
constexpr double kReferenceWidth = 3200.0;
constexpr double kReferenceHeight = 2400.0;
constexpr double kMinFieldHalfAngle = 97.0 * CV_PI / 180.0;
constexpr double kCircleShare = 0.96;        // the image circle's diameter over the shorter side
constexpr double kCircleCentreShare = 0.01;  // its centre's offset at most, over the shorter side

// k1 … k4 of a lens between the equidistant and the equisolid design whose theta_d keeps
// growing up to at least `edge` radians off the axis; the rare sets that turn back before are
// drawn again.
cv::Vec4d drawDistortion(RandomStream& random, double edge) {
  cv::Vec4d D;
  do {
    D = {random.uniform(-0.04, 0.03), random.uniform(-0.004, 0.004),
         random.uniform(-0.001, 0.001), random.uniform(-0.0002, 0.0002)};
  } while (FisheyeLens(cv::Matx33d::eye(), D).maxTheta() < edge);
  return D;
}

}  // namespace

CameraTruth drawCamera(std::uint64_t seed, int camera, int width, int height, double focalScale) {
  RandomStream random(seed, kCameraStream + static_cast<std::uint64_t>(camera));
  const double fx = random.uniform(800.0, 850.0);
  const double fy = fx * (1.0 + random.uniform(-0.003, 0.003));
  const double cx = kReferenceWidth / 2.0 + random.uniform(-25.0, 25.0);
  const double cy = kReferenceHeight / 2.0 + random.uniform(-25.0, 25.0);
  const cv::Vec4d D = drawDistortion(random, kMinFieldHalfAngle);

  const double sx = width / kReferenceWidth;
  const double sy = height / kReferenceHeight;
  CameraTruth truth;
  truth.K = cv::Matx33d(fx * sx * focalScale, 0.0, cx * sx, 0.0, fy * sy * focalScale, cy * sy, 0.0, 0.0, 1.0);
  truth.D = D;
  truth.frameSize = cv::Size(width, height);
  return truth;
}

CameraTruth drawCircularCamera(std::uint64_t seed, int camera, int width, int height, double fieldDegrees) {
  RandomStream random(seed, kCameraStream + static_cast<std::uint64_t>(camera));
  const double side = std::min(width, height);
  const double aspect = 1.0 + random.uniform(-0.003, 0.003);
  const double cx = width / 2.0 + random.uniform(-kCircleCentreShare, kCircleCentreShare) * side;
  const double cy = height / 2.0 + random.uniform(-kCircleCentreShare, kCircleCentreShare) * side;
  const double edge = fieldDegrees / 2.0 * CV_PI / 180.0;
  const cv::Vec4d D = drawDistortion(random, edge);
  const double fx = kCircleShare * side / 2.0 / FisheyeLens(cv::Matx33d::eye(), D).distortTheta(edge);
  CameraTruth truth;
  truth.K = cv::Matx33d(fx, 0.0, cx, 0.0, fx * aspect, cy, 0.0, 0.0, 1.0);
  truth.D = D;
  truth.frameSize = cv::Size(width, height);
  return truth;
}

}  // namespace ringcalib::synth
