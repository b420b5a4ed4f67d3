#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "rig/prepared_view.h"
#include "tools/rig_truth.h"
#include "tools/ring_layout.h"
#include "tools/ring_variation.h"

namespace ringcalib::synth {

// World frame: metres, y up, the ring's centre at the origin. A camera's prepared frame is its
// upright view: x toward camera n + 1, y down (the world's up is −y_p, tilted with the
// camera), z along the optical axis. Its sensor frame is that of rig/ring.h, mounted as the
// layout says: by default turned a quarter (rig::quarterTurn, the world's up to the right in
// the raw still), so that the prepared frame is rig/ring.h's.
struct RingCamera {
  cv::Matx33d worldToPrepared;  // X_p = worldToPrepared · (X_w − centre)
  cv::Vec3d centre;
  cv::Matx33d preparedFromSensor = rig::quarterTurn();  // X_p = preparedFromSensor · X_s

  cv::Matx33d worldToSensor() const;
  cv::Vec3d toSensor(const cv::Vec3d& world) const;
};

// Outward-looking cameras 0.15 m from the centre, by default six 60° apart about the vertical
// axis; camera i + 1 sits clockwise seen from above from camera i, that is toward +x of camera
// i's prepared view. Each deviates from the ideal ring by a random turn of about 1° and a
// shift of a few millimetres. `variation` changes the radius and the size of the turns;
// `layout` the number of cameras, their bearings, tilt and mounting (the deviations are drawn
// after the tilt, in the tilted frame).
std::vector<RingCamera> drawRing(std::uint64_t seed, const RingVariation& variation = {}, const RingLayout& layout = {});

// Exact position of a world point in the prepared view (rig::preparedPixel, about the true
// principal point). False behind the camera.
bool preparedPixel(const RingCamera& camera, const cv::Vec3d& world, cv::Point2d& pixel);

// Unit world direction of the ray through prepared pixel `pixel` (the inverse of the above).
cv::Vec3d preparedRay(const RingCamera& camera, const cv::Point2d& pixel);

// Relative pose of the prepared frames of cameras i and j: X_j = R · (X_i − t), |t| = 1.
PairTruth geometricPairPose(const RingCamera& first, const RingCamera& second);

// The same for their sensor frames (x along the still's rows, y down its columns).
PairTruth sensorPairPose(const RingCamera& first, const RingCamera& second);

}  // namespace ringcalib::synth
