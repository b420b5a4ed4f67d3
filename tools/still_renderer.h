#pragma once

#include <opencv2/core.hpp>

#include "tools/rendered_lens.h"
#include "tools/rig_truth.h"
#include "tools/ring_geometry.h"
#include "tools/surround_scene.h"

namespace ringcalib::synth {

// Renders the grey still of a ring camera: every pixel is unprojected through `lens` (the
// camera's model at still resolution), carried into the world and cast into the scene. The
// texture is prefiltered to the pixel's footprint (mipmaps); pixels on which surfaces meet are
// supersampled 4 × 4, so depth edges are anti-aliased too. Pixels outside the lens' image
// circle (or beyond its field stop) are black.
cv::Mat renderStill(const RenderedLens& lens, const RingCamera& camera, const SurroundScene& scene, cv::Size size);

}  // namespace ringcalib::synth
