#pragma once

#include <opencv2/core.hpp>

#include "tools/rig_truth.h"

namespace ringcalib::synth {

// RMS distance in pixels between projections through (K, D) and through the truth, over rays
// within maxAngleDeg of the optical axis (a fixed dense set of rays).
double projectionRmsError(const CameraTruth& truth, const cv::Matx33d& K, const cv::Vec4d& D,
                          double maxAngleDeg = 80.0);

// Angle in degrees of R_est · R_trueᵀ.
double rotationErrorDeg(const cv::Matx33d& estimated, const cv::Matx33d& truth);

// Angle in degrees between the two directions (any lengths, not zero).
double directionErrorDeg(const cv::Vec3d& estimated, const cv::Vec3d& truth);

}  // namespace ringcalib::synth
