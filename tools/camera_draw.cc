#include "tools/camera_draw.h"

#include "tools/rig_truth.h"
#include "tools/random_stream.h"

namespace ringcalib::synth {
namespace {

constexpr std::uint64_t kCameraStream = 100;
constexpr double kReferenceWidth = 3200.0;
constexpr double kReferenceHeight = 2400.0;
constexpr double kMinFieldHalfAngle = 97.0 * CV_PI / 180.0;

}  // namespace

CameraTruth drawCamera(std::uint64_t seed, int camera, int width, int height, double focalScale) {
  RandomStream random(seed, kCameraStream + static_cast<std::uint64_t>(camera));
  const double fx = random.uniform(800.0, 850.0);
  const double fy = fx * (1.0 + random.uniform(-0.003, 0.003));
  const double cx = kReferenceWidth / 2.0 + random.uniform(-25.0, 25.0);
  const double cy = kReferenceHeight / 2.0 + random.uniform(-25.0, 25.0);
  cv::Vec4d D;
  // Redraw the rare coefficient sets whose theta_d turns back before the edge of the field.
  do {
    D = {random.uniform(-0.04, 0.03), random.uniform(-0.004, 0.004),
         random.uniform(-0.001, 0.001), random.uniform(-0.0002, 0.0002)};
  } while (FisheyeLens(cv::Matx33d::eye(), D).maxTheta() < kMinFieldHalfAngle);

  const double sx = width / kReferenceWidth;
  const double sy = height / kReferenceHeight;
  CameraTruth truth;
  truth.K = cv::Matx33d(fx * sx * focalScale, 0.0, cx * sx, 0.0, fy * sy * focalScale, cy * sy, 0.0, 0.0, 1.0);
  truth.D = D;
  truth.frameSize = cv::Size(width, height);
  return truth;
}

}  // namespace ringcalib::synth
