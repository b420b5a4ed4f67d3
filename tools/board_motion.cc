#include "tools/board_motion.h"

#include <cmath>

#include "pose/angles.h"
#include "tools/random_stream.h"

namespace ringcalib::synth {
namespace {

constexpr std::uint64_t kMotionStream = 200;
constexpr double kRimToReachDegrees = 29.0;  // the board's half-diagonal seen from its distance, and a margin

// Rotation by `angle` about the unit `axis`.
cv::Matx33d axisRotation(const cv::Vec3d& axis, double angle) { return rotationMatrix(axis * angle); }

// Phases and rates of one camera's sweep.
struct Sweep {
  double radialCycles, radialPhase;
  double turns, azimuthPhase;
  double distancePhase, tiltPhaseA, tiltPhaseB, rollStart, rollPhase;
};

Sweep drawSweep(std::uint64_t seed, int camera) {
  RandomStream random(seed, kMotionStream + static_cast<std::uint64_t>(camera));
  Sweep s;
  s.radialCycles = random.uniform(3.2, 3.8);
  s.radialPhase = random.uniform(0.0, 2.0 * CV_PI);
  s.turns = random.uniform(2.2, 2.7);
  s.azimuthPhase = random.uniform(0.0, 2.0 * CV_PI);
  s.distancePhase = random.uniform(0.0, 2.0 * CV_PI);
  s.tiltPhaseA = random.uniform(0.0, 2.0 * CV_PI);
  s.tiltPhaseB = random.uniform(0.0, 2.0 * CV_PI);
  s.rollStart = random.uniform(0.0, 2.0 * CV_PI);
  s.rollPhase = random.uniform(0.0, 2.0 * CV_PI);
  return s;
}

}  // namespace

double circularSweepReachDegrees(double fieldDegrees) { return fieldDegrees / 2.0 - kRimToReachDegrees; }

cv::Vec3d BoardPose::point(double bx, double by) const {
  return centre + (bx - squares.width / 2.0) * axisX + (by - squares.height / 2.0) * axisY;
}

BoardPose boardPoseAt(std::uint64_t seed, int camera, int frame, int frameCount, double reachDegrees) {
  const Sweep s = drawSweep(seed, camera);
  const double tau = frameCount > 1 ? static_cast<double>(frame) / (frameCount - 1) : 0.5;
  const double cycle = 2.0 * CV_PI * tau;

  // Direction of the board's centre: off-axis angle in [0, reach], azimuth turning steadily.
  const double offAxis = reachDegrees * kRadiansPerDegree * 0.5 * (1.0 - std::cos(s.radialCycles * cycle + s.radialPhase));
  const double azimuth = s.turns * cycle + s.azimuthPhase;
  const cv::Vec3d sight(std::sin(offAxis) * std::cos(azimuth), std::sin(offAxis) * std::sin(azimuth),
                        std::cos(offAxis));
  const double distance = 14.5 + 2.5 * std::sin(1.7 * cycle + s.distancePhase);

  // Start facing the camera (the rotation that takes the optical axis to the line of sight,
  // never degenerate since the sight stays within 90° of the axis), then tilt and roll.
  const cv::Vec3d z(0.0, 0.0, 1.0);
  const cv::Vec3d bend = z.cross(sight);
  const double bendNorm = cv::norm(bend);
  const cv::Matx33d facing = bendNorm > 1e-12 ? axisRotation(bend / bendNorm, offAxis) : cv::Matx33d::eye();
  const cv::Vec3d sideX = facing * cv::Vec3d(1.0, 0.0, 0.0);
  const cv::Vec3d sideY = facing * cv::Vec3d(0.0, 1.0, 0.0);
  const double tiltA = 25.0 * kRadiansPerDegree * std::sin(2.9 * cycle + s.tiltPhaseA);
  const double tiltB = 25.0 * kRadiansPerDegree * std::sin(2.3 * cycle + s.tiltPhaseB);
  const double roll = s.rollStart + 40.0 * kRadiansPerDegree * std::sin(1.3 * cycle + s.rollPhase);
  const cv::Matx33d orientation =
      axisRotation(sideX, tiltA) * axisRotation(sideY, tiltB) * axisRotation(sight, roll) * facing;

  BoardPose pose;
  pose.centre = distance * sight;
  pose.axisX = orientation * cv::Vec3d(1.0, 0.0, 0.0);
  pose.axisY = orientation * cv::Vec3d(0.0, 1.0, 0.0);
  return pose;
}

bool boardAbsentAt(int frame, int frameCount, double absentFraction) {
  const int absent = static_cast<int>(std::lround(absentFraction * frameCount));
  const int atStart = (absent + 2) / 3, atEnd = (absent + 1) / 3, inMiddle = absent / 3;
  const int middleStart = atStart + (frameCount - absent) / 2;
  return frame < atStart || frame >= frameCount - atEnd || (frame >= middleStart && frame < middleStart + inMiddle);
}

std::vector<cv::Vec3d> innerCorners(const BoardPose& pose) {
  std::vector<cv::Vec3d> corners;
  for (int y = 1; y < pose.squares.height; ++y)
    for (int x = 1; x < pose.squares.width; ++x) corners.push_back(pose.point(x, y));
  return corners;
}

}  // namespace ringcalib::synth
