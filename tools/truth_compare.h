#pragma once

#include <opencv2/core.hpp>

#include "tools/rig_truth.h"

namespace ringcalib::synth {

// RMS distance in pixels between projections through (K, D) and through the truth, over rays
// within maxAngleDeg of the optical axis (a fixed dense set of rays).
double projectionRmsError(const CameraTruth& truth, const cv::Matx33d& K, const cv::Vec4d& D,
                          double maxAngleDeg = 80.0);

}  // namespace ringcalib::synth
