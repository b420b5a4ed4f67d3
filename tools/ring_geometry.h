#pragma once

#include <array>
#include <cstdint>

#include <opencv2/core.hpp>

#include "tools/rig_truth.h"
#include "tools/ring_variation.h"

namespace ringcalib::synth {

// World frame: metres, y up, the ring's centre at the origin. A camera's sensor and prepared
// frames are those of rig/ring.h; the sensor is mounted so that the world's up is −y_p (up in
// the prepared view, to the right in the raw still).
struct RingCamera {
  cv::Matx33d worldToPrepared;  // X_p = worldToPrepared · (X_w − centre)
  cv::Vec3d centre;

  cv::Matx33d worldToSensor() const;
  cv::Vec3d toSensor(const cv::Vec3d& world) const;
};

// Six outward-looking cameras 0.15 m from the centre, 60° apart about the vertical axis;
// camera i + 1 sits 60° clockwise seen from above from camera i, that is toward +x of camera
// i's prepared view. Each deviates from the ideal ring by a random turn of about 1° and a
// shift of a few millimetres. `variation` changes the radius and the size of the turns.
std::array<RingCamera, rig::kCameras> drawRing(std::uint64_t seed, const RingVariation& variation = {});

// Exact position of a world point in the prepared view (rig::preparedPixel, about the true
// principal point). False behind the camera.
bool preparedPixel(const RingCamera& camera, const cv::Vec3d& world, cv::Point2d& pixel);

// Unit world direction of the ray through prepared pixel `pixel` (the inverse of the above).
cv::Vec3d preparedRay(const RingCamera& camera, const cv::Point2d& pixel);

// Relative pose of the prepared frames of cameras i and j: X_j = R · (X_i − t), |t| = 1.
PairTruth geometricPairPose(const RingCamera& first, const RingCamera& second);

}  // namespace ringcalib::synth
