#include "pose/angles.h"

#include <opencv2/calib3d.hpp>

#include "pose/cpose.h"

namespace ringcalib {

cv::Vec3d rotationVector(const cv::Matx33d& R) {
  cv::Vec3d rotation;
  cv::Rodrigues(R, rotation);
  return rotation;
}

cv::Matx33d rotationMatrix(const cv::Vec3d& rotation) {
  cv::Matx33d R;
  cv::Rodrigues(rotation, R);
  return R;
}

cv::Vec3d eulerAnglesDeg(const cv::Mat& R) {
  double x = 0;
  double y = 0;
  double z = 0;
  CPose().rotationToEuler(R, x, y, z);
  return {x * 180 / CPose::PI, y * 180 / CPose::PI, z * 180 / CPose::PI};
}

}  // namespace ringcalib
