#include "rig/ring_frame.h"

#include "pose/angles.h"
#include "pose/pose_geometry.h"
#include "rig/prepared_view.h"

namespace ringcalib::rig {

namespace {

// A sensor-frame direction of a camera of `orientation` as a world ray.
cv::Vec3d worldRay(const cv::Matx33d& orientation, PoseFrame frame, const cv::Vec3d& sensor) {
  return orientation.t() * (poseFrameToSensor(frame).t() * sensor);
}

}  // namespace

cv::Matx33d poseFrameToSensor(PoseFrame frame) {
  if (frame == PoseFrame::kCamera) return cv::Matx33d::eye();
  // Back from the file's convention to the geometric prepared frame, then the quarter turn.
  return quarterTurn().t() * fileConventionTurn().t();
}

PairPose inPoseFrames(const PairPose& pose, PoseFrame from, PoseFrame to) {
  if (from == to) return pose;
  // X_to = M X_from, so X2 = R (X1 - t) reads M R M^T (X1' - M t) in the other frames.
  const cv::Matx33d M = poseFrameToSensor(to).t() * poseFrameToSensor(from);
  return {M * pose.R * M.t(), M * pose.t};
}

cv::Vec3d poseFrameRay(const cv::Point2f& pixel) {
  return {(pixel.x - kViewCentre) / kViewFocal, (pixel.y - kViewCentre) / kViewFocal, 1.0};
}

RingRotations rotationsOf(const std::vector<PairPose>& pairs) {
  RingRotations rotations;
  for (const PairPose& pair : pairs) rotations.push_back(pair.R);
  return rotations;
}

RingChain chainRing(const RingRotations& pairRotations) {
  RingChain chain;
  cv::Matx33d around = cv::Matx33d::eye();
  for (const cv::Matx33d& rotation : pairRotations) {
    chain.orientations.push_back(around);
    around = rotation * around;
  }
  chain.closure = around;
  return chain;
}

RingRotations composeRing(const RingRotations& pairRotations) {
  const RingChain chain = chainRing(pairRotations);
  const cv::Vec3d closure = rotationVector(chain.closure);
  const int cameras = static_cast<int>(pairRotations.size());
  RingRotations composed(cameras);
  for (int n = 0; n < cameras; ++n) {
    composed[n] = chain.orientations[n] * rotationMatrix(closure * (-static_cast<double>(n) / cameras));
  }
  return composed;
}

cv::Vec3d ringPlaneNormal(const std::vector<cv::Vec3d>& axes) {
  cv::Matx33d scatter = cv::Matx33d::zeros();
  for (const cv::Vec3d& axis : axes) scatter += axis * axis.t();
  cv::Matx33d eigenvectors;
  cv::Vec3d eigenvalues;
  cv::eigen(scatter, eigenvalues, eigenvectors);  // descending: the last row is the normal
  return {eigenvectors(2, 0), eigenvectors(2, 1), eigenvectors(2, 2)};
}

cv::Vec3d ringUp(const RingRotations& orientations) {
  const int cameras = static_cast<int>(orientations.size());
  cv::Vec3d sum(0.0, 0.0, 0.0);
  for (int n = 0; n < cameras; ++n) {
    const cv::Matx33d turn = orientations[nextCamera(n, cameras)] * orientations[n].t();
    // The turn's axis in camera n's frame, as a world ray.
    sum += orientations[n].t() * unitVector(rotationVector(turn));
  }
  return unitVector(sum);
}

cv::Matx33d panoramaFrame(const RingRotations& orientations, PoseFrame frame) {
  std::vector<cv::Vec3d> axes;
  for (const cv::Matx33d& orientation : orientations) axes.push_back(worldRay(orientation, frame, {0.0, 0.0, 1.0}));
  cv::Vec3d down;
  if (frame == PoseFrame::kCamera) {
    down = -ringUp(orientations);
  } else {
    // The optical axis is the sensor's z; the image's down in the prepared view is y_p, the
    // sensor's -x (rig/ring.h).
    down = ringPlaneNormal(axes);
    if (down.dot(worldRay(orientations[0], frame, {-1.0, 0.0, 0.0})) < 0.0) down = -down;
  }
  const cv::Vec3d forward = unitVector(axes[0] - axes[0].dot(down) * down);
  const cv::Vec3d right = down.cross(forward);
  return cv::Matx33d(right[0], down[0], forward[0], right[1], down[1], forward[1], right[2], down[2], forward[2]);
}

RingRotations panoramaToSensor(const RingRotations& orientations, PoseFrame frame) {
  const cv::Matx33d panorama = panoramaFrame(orientations, frame);
  RingRotations toSensor;
  for (const cv::Matx33d& orientation : orientations) {
    toSensor.push_back(poseFrameToSensor(frame) * orientation * panorama);
  }
  return toSensor;
}

}  // namespace ringcalib::rig
