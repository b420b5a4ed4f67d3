#include "rig/ring_layout.h"

#include <cmath>

#include "pose/angles.h"

namespace ringcalib::rig {

double RingLayout::tiltDeg(int n) const { return std::asin(up[n][2]) * kDegreesPerRadian; }

double RingLayout::rollDeg(int n) const {
  return std::atan2(up[n][0], -up[n][1]) * kDegreesPerRadian;
}

double RingLayout::spacingDeg(int n) const {
  return cv::norm(rotationVector(turns[n])) * kDegreesPerRadian;
}

bool isStandardLayout(const RingLayout& layout) {
  if (layout.cameras() != 6) return false;
  for (int n = 0; n < layout.cameras(); ++n) {
    if (!(std::abs(layout.rollDeg(n) - 90.0) < 45.0)) return false;
    if (!(std::abs(layout.tiltDeg(n)) <= kLevelToleranceDeg)) return false;
  }
  return true;
}

PairFrame pairFrame(const RingLayout& layout, int n) {
  const int next = (n + 1) % layout.cameras();
  const cv::Matx33d& turn = layout.turns[n];
  // Everything in camera n's frame: the neighbour's axis and up are turned back.
  const cv::Vec3d axis(0.0, 0.0, 1.0);
  const cv::Vec3d bisector = cv::normalize(axis + turn.t() * axis);
  const cv::Vec3d up = cv::normalize(layout.up[n] + turn.t() * layout.up[next]);
  const cv::Vec3d x = cv::normalize(bisector.cross(up));
  const cv::Vec3d y = bisector.cross(x);
  PairFrame frame;
  frame.first = cv::Matx33d(x[0], x[1], x[2], y[0], y[1], y[2], bisector[0], bisector[1], bisector[2]);
  frame.second = frame.first * turn.t();
  return frame;
}

}  // namespace ringcalib::rig
