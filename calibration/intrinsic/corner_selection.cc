// Keeps the corners of the central part of the fisheye image for the solve.
#include "calibration/intrinsic/corner_selection.h"

#include <cmath>

namespace ringcalib::intrinsic {

void selectCorners(std::vector<std::vector<cv::Point2f>>& imagePoints,
                   std::vector<std::vector<cv::Point3f>>& objectPoints, int width, int height) {
  // The circle follows the reference frame, not the video: centre (w/2, h/2), radius
  // 0.8 * w/2. Near the rim of a fisheye image the corners are compressed and blurred.
  const cv::Point2f centre(static_cast<float>(width / 2), static_cast<float>(height / 2));
  const double radius = (width / 2) * 0.8;
  std::vector<std::vector<cv::Point2f>> keptImagePoints;
  std::vector<std::vector<cv::Point3f>> keptObjectPoints;
  keptImagePoints.reserve(imagePoints.size());
  keptObjectPoints.reserve(imagePoints.size());
  for (std::size_t view = 0; view < imagePoints.size(); ++view) {
    std::vector<cv::Point2f> images;
    std::vector<cv::Point3f> objects;
    for (std::size_t j = 0; j < imagePoints[view].size(); ++j) {
      const cv::Point2f offset = imagePoints[view][j] - centre;
      const float distance = std::sqrt(offset.x * offset.x + offset.y * offset.y);
      if (distance > radius) continue;
      images.push_back(imagePoints[view][j]);
      objects.push_back(objectPoints[view][j]);
    }
    // A view left empty stays: it still counts toward the minimum number of views.
    keptImagePoints.push_back(std::move(images));
    keptObjectPoints.push_back(std::move(objects));
  }
  imagePoints = std::move(keptImagePoints);
  objectPoints = std::move(keptObjectPoints);
}

}  // namespace ringcalib::intrinsic
