#pragma once

#include <opencv2/core.hpp>

#include "tools/rig_truth.h"

namespace ringcalib::synth {

// The lens as the generator renders it: the fisheye model and, for a circular fisheye, the
// field stop that leaves everything beyond half its field of view black.
class RenderedLens {
 public:
  // The model's whole field, as the standard rig's lenses (their frames crop the circle).
  // Implicit: every model renders as such a lens.
  RenderedLens(const FisheyeLens& model) : model_(model) {}
  // A circular fisheye whose field of view is `fieldDegrees` across the circle.
  RenderedLens(const FisheyeLens& model, double fieldDegrees);

  // FisheyeLens::unproject, and false beyond the field stop.
  bool unproject(double u, double v, cv::Vec3d& ray) const {
    return model_.unproject(u, v, ray) && ray[2] >= leastCosine_;
  }

  const FisheyeLens& model() const { return model_; }
  bool hasFieldStop() const { return fieldDegrees_ > 0.0; }
  double fieldDegrees() const { return fieldDegrees_; }  // 0 without a field stop

 private:
  FisheyeLens model_;
  double fieldDegrees_ = 0.0;
  double leastCosine_ = -2.0;  // cosine of the largest angle off the axis imaged; below −1: none
};

}  // namespace ringcalib::synth
