#include "tools/rendered_lens.h"

#include <cmath>

namespace ringcalib::synth {

RenderedLens::RenderedLens(const FisheyeLens& model, double fieldDegrees)
    : model_(model), fieldDegrees_(fieldDegrees), leastCosine_(std::cos(fieldDegrees / 2.0 * CV_PI / 180.0)) {}

}  // namespace ringcalib::synth
