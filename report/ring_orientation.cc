#include "report/ring_orientation.h"

#include "pose/angles.h"
#include "pose/pose_geometry.h"
#include "report/still_lookup.h"
#include "rig/prepared_view.h"

namespace ringcalib::report {

namespace {

// A sensor-frame direction of camera n as a world ray.
cv::Vec3d worldRay(const cv::Matx33d& orientation, const cv::Vec3d& sensor) {
  return orientation.t() * (poseFrameToSensor().t() * sensor);
}

}  // namespace

RingOrientations composeRing(const std::array<cv::Matx33d, rig::kCameras>& pairRotations) {
  RingOrientations composed;
  cv::Matx33d around = cv::Matx33d::eye();
  for (int n = 0; n < rig::kCameras; ++n) {
    composed[n] = around;
    around = pairRotations[n] * around;
  }
  const cv::Vec3d closure = rotationVector(around);
  for (int n = 0; n < rig::kCameras; ++n) {
    composed[n] = composed[n] * rotationMatrix(closure * (-static_cast<double>(n) / rig::kCameras));
  }
  return composed;
}

cv::Matx33d panoramaFrame(const RingOrientations& orientations) {
  // The optical axis is the sensor's z; the image's down in the prepared view is y_p, the
  // sensor's -x (rig/ring.h).
  cv::Matx33d scatter = cv::Matx33d::zeros();
  for (const cv::Matx33d& orientation : orientations) {
    const cv::Vec3d axis = worldRay(orientation, {0.0, 0.0, 1.0});
    scatter += axis * axis.t();
  }
  cv::Matx33d eigenvectors;
  cv::Vec3d eigenvalues;
  cv::eigen(scatter, eigenvalues, eigenvectors);  // descending: the last row is the normal
  cv::Vec3d down(eigenvectors(2, 0), eigenvectors(2, 1), eigenvectors(2, 2));
  if (down.dot(worldRay(orientations[0], {-1.0, 0.0, 0.0})) < 0.0) down = -down;
  const cv::Vec3d axis0 = worldRay(orientations[0], {0.0, 0.0, 1.0});
  const cv::Vec3d forward = unitVector(axis0 - axis0.dot(down) * down);
  const cv::Vec3d right = down.cross(forward);
  return cv::Matx33d(right[0], down[0], forward[0], right[1], down[1], forward[1], right[2], down[2], forward[2]);
}

}  // namespace ringcalib::report
