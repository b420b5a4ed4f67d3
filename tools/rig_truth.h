#pragma once

#include <array>

#include <opencv2/core.hpp>

namespace ringcalib::synth {

// Fisheye model (cv::fisheye's equidistant model) of one camera at video resolution.
struct CameraTruth {
  cv::Matx33d K;
  cv::Vec4d D;
};

// Relative pose of the pair (n, (n + 1) % 6) in the calibration tool's convention: prepared
// views' frames, X2 = R · (X1 − t), |t| = 1.
struct PairTruth {
  cv::Matx33d R;
  cv::Vec3d t;
};

struct RigTruth {
  std::array<CameraTruth, 6> cameras;
  std::array<PairTruth, 6> pairs;
};

// The pose of each pair's prepared frames themselves, same convention. It differs from the
// truth above by about 0.1° because the tool takes (1800, 1800) as the prepared views' centre
// while the quarter turn puts the true centre at (1800, 1799).
using GeometricPairs = std::array<PairTruth, 6>;

}  // namespace ringcalib::synth
