#pragma once

#include <cmath>
#include <vector>

#include <opencv2/core.hpp>

#include "rig/fisheye_lens.h"

// How far off the axis a camera's model must hold: up to the edge of the field its frames
// show, and with board corners as far out as the prepared views reach.
namespace ringcalib::rig {

struct LensField {
  // The angle of the field's edge: the frame's farthest corner, or the model's domain when
  // that lies beyond it. Not a number when the model folds before it.
  double edgeDeg = NAN;
  // Where theta_d stops increasing, inside the field; not a number when it rises up to the
  // field's edge.
  double foldDeg = NAN;
  // How far off the axis the boards must reach: as far as the prepared views reach, or up to
  // the nearest side of the frame where that is nearer.
  double neededDeg = NAN;

  bool folds() const { return !std::isnan(foldDeg); }
};

// The field of `camera`'s frames under its own model.
LensField lensField(const FisheyeCamera& camera);

// The angle off the axis (degrees) of `pixel` under `lens`; the model's largest angle for a
// pixel beyond what it reaches.
double angleOffAxisDeg(const FisheyeLens& lens, const cv::Point2f& pixel);

// The largest angle off the axis (degrees) of any corner of `views`; 0 without corners.
double reachDeg(const FisheyeLens& lens, const std::vector<std::vector<cv::Point2f>>& views);

}  // namespace ringcalib::rig
