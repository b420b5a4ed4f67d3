#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "rig/pair_pose.h"

// Synthetic correspondences between two views shaped like a neighbouring pair of the camera
// ring, with known ground truth, for tests and benchmarks of the pose operations.
namespace ringcalib {

struct RingPairOptions {
  size_t correspondences = 3000;
  double yawDegrees = 60.0;        // turn of the second camera about the vertical (y) axis
  double baseline = 0.15;          // metres between the two camera centres
  double verticalOffset = 0.0;     // metres the second centre sits below (+) the first one
  double minDistance = 1.5;        // metres from the first camera
  double maxDistance = 10.0;
  double noisePixels = 0.3;        // Gaussian noise on both pixels of every pair
  double outlierFraction = 0.15;   // share of pairs whose second pixel is a random pixel
  std::uint64_t seed = 1;
};

struct RingPairScene {
  cv::Mat K;                         // 3x3 CV_64F: the prepared view's camera (rig::targetCamera)
  cv::Mat R;                         // ground truth, X2 = R (X1 - t)
  cv::Mat t;                         // 3x1, the second centre in the first camera's frame
  std::vector<cv::Point2f> pts1, pts2;
  std::vector<unsigned char> outlier;  // 1 where pts2 is a random pixel
};

// Both cameras sit on a ring looking outwards; the second is the first turned by the yaw
// about the ring's vertical axis, so it looks to the right of the first and its centre is
// to the right of and behind the first one (and verticalOffset lower, y pointing down).
// Scene points lie at a uniform distance in [minDistance, maxDistance] along uniformly drawn
// pixels of the first view, kept when they also project into the second view.
RingPairScene makeRingPairScene(const RingPairOptions& options);

}  // namespace ringcalib
