#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "tools/ring_geometry.h"
#include "tools/surround_scene.h"

namespace ringcalib::synth {

// A scene point's exact pixels in the prepared views of a pair.
struct PairCorrespondence {
  cv::Point2d first, second;
};

// Scene points that the tool's flow can match for the pair (first, second): a grid (step
// `gridStep` pixels) over the strip of first's warped view, kept where the point lies inside
// the strip of second's warped view, inside both prepared views, and is not hidden from the
// second camera.
std::vector<PairCorrespondence> pairStripCorrespondences(const RingCamera& first, const RingCamera& second,
                                                         const SurroundScene& scene, int gridStep);

// Signed Sampson distance (pixels, rig::sampsonError) of each correspondence to the epipolar
// geometry of `pose` under the prepared views' camera matrix (rig::fundamentalOfPose).
std::vector<double> sampsonResiduals(const std::vector<PairCorrespondence>& points, const PairTruth& pose);

// The pose that the exact pixels give under the tool's camera matrix: least squares of the
// Sampson residuals, by Gauss-Newton on a rotation increment and a tangent step of the unit
// translation, from `start`.
PairTruth fitToolConventionPose(const std::vector<PairCorrespondence>& points, const PairTruth& start);

}  // namespace ringcalib::synth
