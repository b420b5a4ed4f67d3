#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "export/export_rig.h"

// Each pair as cv::fisheye's stereo functions take it, in the two stills' own sensor frames.
namespace ringcalib::exporting {

struct StereoPair {
  cv::Matx33d K1, K2;  // in the stills' pixels
  cv::Vec4d D1, D2;
  cv::Matx33d R;       // X2 = R X1 + T, sensor frames
  cv::Vec3d T;         // |T| = 1
  cv::Size imageSize;  // the first still's
};

// Pair n undone from the file's convention: with S the rotation from a camera's pose frame
// to its sensor frame (rig::poseFrameToSensor of the rig's pose frames: for the standard rig
// the file's small turn undone, then the quarter turn; for camera frames none), the file's
// X2 = R_f (X1 - t_f) between pose frames is R = S R_f S^T, T = -R S t_f (normalised).
StereoPair stereoPair(const ExportRig& rig, int n);

// The file name of pair n: pair_<n>.yaml.
std::string stereoPairName(int n);

// The text of pair_<n>.yaml (cv::FileStorage: K1 D1 K2 D2 R T image_size) for each pair of the
// ring, made in memory so that nothing is written before all are whole. Throws
// std::runtime_error naming the pair whose values are not all finite, or whose T is not of
// unit length (a pose too large to normalise).
std::vector<std::string> stereoPairFiles(const ExportRig& rig);

}  // namespace ringcalib::exporting
