#include "rig/ring_frame.h"

#include "pose/angles.h"
#include "pose/pose_geometry.h"
#include "rig/prepared_view.h"

namespace ringcalib::rig {

namespace {

// A sensor-frame direction of a camera of `orientation` as a world ray.
cv::Vec3d worldRay(const cv::Matx33d& orientation, const cv::Vec3d& sensor) {
  return orientation.t() * (poseFrameToSensor().t() * sensor);
}

}  // namespace

cv::Matx33d poseFrameToSensor() {
  // Back from the file's convention to the geometric prepared frame, then the quarter turn.
  return quarterTurn().t() * fileConventionTurn().t();
}

cv::Vec3d poseFrameRay(const cv::Point2f& pixel) {
  return {(pixel.x - kViewCentre) / kViewFocal, (pixel.y - kViewCentre) / kViewFocal, 1.0};
}

RingRotations rotationsOf(const std::array<PairPose, kCameras>& pairs) {
  RingRotations rotations;
  for (int n = 0; n < kCameras; ++n) rotations[n] = pairs[n].R;
  return rotations;
}

RingChain chainRing(const RingRotations& pairRotations) {
  RingChain chain;
  cv::Matx33d around = cv::Matx33d::eye();
  for (int n = 0; n < kCameras; ++n) {
    chain.orientations[n] = around;
    around = pairRotations[n] * around;
  }
  chain.closure = around;
  return chain;
}

RingRotations composeRing(const RingRotations& pairRotations) {
  const RingChain chain = chainRing(pairRotations);
  const cv::Vec3d closure = rotationVector(chain.closure);
  RingRotations composed;
  for (int n = 0; n < kCameras; ++n) {
    composed[n] = chain.orientations[n] * rotationMatrix(closure * (-static_cast<double>(n) / kCameras));
  }
  return composed;
}

cv::Vec3d ringPlaneNormal(const std::array<cv::Vec3d, kCameras>& axes) {
  cv::Matx33d scatter = cv::Matx33d::zeros();
  for (const cv::Vec3d& axis : axes) scatter += axis * axis.t();
  cv::Matx33d eigenvectors;
  cv::Vec3d eigenvalues;
  cv::eigen(scatter, eigenvalues, eigenvectors);  // descending: the last row is the normal
  return {eigenvectors(2, 0), eigenvectors(2, 1), eigenvectors(2, 2)};
}

cv::Matx33d panoramaFrame(const RingRotations& orientations) {
  // The optical axis is the sensor's z; the image's down in the prepared view is y_p, the
  // sensor's -x (rig/ring.h).
  std::array<cv::Vec3d, kCameras> axes;
  for (int n = 0; n < kCameras; ++n) axes[n] = worldRay(orientations[n], {0.0, 0.0, 1.0});
  cv::Vec3d down = ringPlaneNormal(axes);
  if (down.dot(worldRay(orientations[0], {-1.0, 0.0, 0.0})) < 0.0) down = -down;
  const cv::Vec3d forward = unitVector(axes[0] - axes[0].dot(down) * down);
  const cv::Vec3d right = down.cross(forward);
  return cv::Matx33d(right[0], down[0], forward[0], right[1], down[1], forward[1], right[2], down[2], forward[2]);
}

RingRotations panoramaToSensor(const RingRotations& orientations) {
  const cv::Matx33d frame = panoramaFrame(orientations);
  RingRotations toSensor;
  for (int n = 0; n < kCameras; ++n) toSensor[n] = poseFrameToSensor() * orientations[n] * frame;
  return toSensor;
}

}  // namespace ringcalib::rig
