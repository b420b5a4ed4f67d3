#pragma once

#include <string>
#include <vector>

#include "export/export_rig.h"
#include "export/hugin_lens.h"
#include "rig/ring_frame.h"

// A Hugin project (.pto) of the ring: one image line per camera's still with its fitted lens and its
// orientation in the ring's frame, and an equirectangular panorama of the report's size.
namespace ringcalib::exporting {

// A camera's orientation as Hugin's yaw, pitch and roll in degrees. Hugin turns a camera
// ray (x right, y down, z along the axis) into the panorama's frame (right, down, forward)
// by Ry(yaw) Rx(pitch) Rz(roll): yaw turns toward the right, pitch up, roll clockwise.
struct HuginAngles {
  double yaw = 0.0, pitch = 0.0, roll = 0.0;
};
HuginAngles huginAngles(const cv::Matx33d& sensorToPanorama);

// Each camera's sensor-to-panorama rotation: the pairs composed around the ring with the
// closure spread evenly, in the ring's frame (horizon in the ring's plane, camera 0 at yaw 0).
rig::RingRotations ringSensorOrientations(const ExportRig& rig);

// The project's text, and each camera's lens fit. Throws std::runtime_error naming the camera
// whose lens cannot be fitted (fitHuginLens) or whose lens or angles are not finite numbers.
struct HuginProject {
  std::string text;
  std::vector<HuginFit> fits;
};
HuginProject huginProject(const ExportRig& rig);

}  // namespace ringcalib::exporting
