#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "rig/lens_covariance.h"

namespace ringcalib::intrinsic {

// The covariance of a fisheye board solve's intrinsics (fx, fy, cx, cy, k1 ... k4) at its
// result: the corners' Jacobian per view (cv::fisheye::projectPoints), each view's pose
// eliminated, scaled by the corners' residual variance. The solve fitted k1 ... k<distortionTerms>;
// the terms it held at 0 are known exactly: their rows and columns are 0. False when the views
// leave the intrinsics undetermined.
bool boardCovariance(const std::vector<std::vector<cv::Point3f>>& objects,
                     const std::vector<std::vector<cv::Point2f>>& images,
                     const std::vector<cv::Vec3d>& rotations,
                     const std::vector<cv::Vec3d>& translations, const cv::Matx33d& K,
                     const cv::Vec4d& D, int distortionTerms, rig::LensCovariance& covariance);

}  // namespace ringcalib::intrinsic
