#include "tools/ring_geometry.h"

#include <cmath>

#include <opencv2/calib3d.hpp>

#include "tools/random_stream.h"
#include "rig/prepared_view.h"

namespace ringcalib::synth {
namespace {

constexpr std::uint64_t kRingStream = 400;
// A stream of its own, so that varied turns keep the standard draw's axes and shifts.
constexpr std::uint64_t kTurnAngleStream = 701;
constexpr double kTurnSigma = 0.6 * CV_PI / 180.0;  // per axis: about 1° in all
constexpr double kShiftSigma = 0.003;

// X_j = R · (X_i − t) between two frames given by their world-to-frame turns and centres.
PairTruth relativePose(const cv::Matx33d& worldToFirst, const cv::Vec3d& firstCentre, const cv::Matx33d& worldToSecond,
                       const cv::Vec3d& secondCentre) {
  return {worldToSecond * worldToFirst.t(), cv::normalize(worldToFirst * (secondCentre - firstCentre))};
}

}  // namespace

cv::Matx33d RingCamera::worldToSensor() const { return preparedFromSensor.t() * worldToPrepared; }

cv::Vec3d RingCamera::toSensor(const cv::Vec3d& world) const { return worldToSensor() * (world - centre); }

std::vector<RingCamera> drawRing(std::uint64_t seed, const RingVariation& variation, const RingLayout& layout) {
  RandomStream random(seed, kRingStream);
  RandomStream turnAngles(seed, kTurnAngleStream);
  const double radius = ringRadius(seed, variation);
  const std::vector<double> bearings = ringBearings(seed, layout);
  // Tilting up by τ turns the view about its own x axis: z_p toward the world's up (−y_p).
  cv::Matx33d tilt;
  cv::Rodrigues(cv::Vec3d(layout.tiltDegrees * CV_PI / 180.0, 0.0, 0.0), tilt);
  std::vector<RingCamera> ring(bearings.size());
  for (size_t i = 0; i < ring.size(); ++i) {
    // Yaw −bearing (−60° · i in the standard ring): camera i looks along (sin ψ, 0, cos ψ);
    // its level prepared axes in the world are x_p = (−cos ψ, 0, sin ψ), y_p = (0, −1, 0),
    // z_p = (sin ψ, 0, cos ψ), so +x_p points to camera i + 1.
    const double yaw = -bearings[i];
    const cv::Vec3d forward(std::sin(yaw), 0.0, std::cos(yaw));
    const cv::Matx33d preparedToWorld(-std::cos(yaw), 0.0, std::sin(yaw),  //
                                      0.0, -1.0, 0.0,                      //
                                      std::sin(yaw), 0.0, std::cos(yaw));
    const cv::Vec3d turnAxis(random.gaussian(), random.gaussian(), random.gaussian());
    cv::Vec3d turn = turnAxis * kTurnSigma;
    if (variation.turnDegrees) {
      const ValueRange& degrees = *variation.turnDegrees;
      turn = cv::normalize(turnAxis) * turnAngles.uniform(degrees.low, degrees.high) * CV_PI / 180.0;
    }
    cv::Matx33d deviation;
    cv::Rodrigues(turn, deviation);
    // A level ring skips the tilt's identity, so that its numbers stay those of the standard draw.
    const cv::Matx33d tiltedToWorld = layout.tiltDegrees == 0.0 ? preparedToWorld : preparedToWorld * tilt;
    ring[i].worldToPrepared = (tiltedToWorld * deviation).t();
    ring[i].preparedFromSensor = viewFromSensor(layout.mount);
    ring[i].centre = radius * forward +
                     cv::Vec3d(random.gaussian(), random.gaussian(), random.gaussian()) * kShiftSigma;
  }
  return ring;
}

bool preparedPixel(const RingCamera& camera, const cv::Vec3d& world, cv::Point2d& pixel) {
  return rig::preparedPixel(camera.worldToPrepared * (world - camera.centre), pixel);
}

cv::Vec3d preparedRay(const RingCamera& camera, const cv::Point2d& pixel) {
  return cv::normalize(camera.worldToPrepared.t() * rig::preparedDirection(pixel));
}

PairTruth geometricPairPose(const RingCamera& first, const RingCamera& second) {
  return relativePose(first.worldToPrepared, first.centre, second.worldToPrepared, second.centre);
}

PairTruth sensorPairPose(const RingCamera& first, const RingCamera& second) {
  return relativePose(first.worldToSensor(), first.centre, second.worldToSensor(), second.centre);
}

}  // namespace ringcalib::synth
