// Views of a camera's still in frames of its own choosing, for a ring of another layout than
// the standard rig's: each pixel's ray is projected through the rig model's lens. (Projected
// every eight pixels and interpolated, as the report's pictures are, the views of a real ring
// of four fisheyes bent enough near the rim to move its closure from 0.20 to 0.56 degrees.)
#include "calibration/extrinsic/still_views.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

namespace ringcalib::extrinsic {

cv::Mat viewOfStill(const cv::Mat& still, const rig::FisheyeCamera& camera, const cv::Matx33d& toView,
                    const cv::Matx33d& K, int size, const cv::Range& columns) {
  const rig::FisheyeLens lens(camera);
  const double cosField = std::cos(lens.maxTheta());
  const cv::Matx33d back = toView.t();
  cv::Mat map(size, columns.size(), CV_32FC2);
  cv::parallel_for_(cv::Range(0, size), [&](const cv::Range& rows) {
    for (int r = rows.start; r < rows.end; ++r) {
      cv::Vec2f* row = map.ptr<cv::Vec2f>(r);
      for (int c = 0; c < columns.size(); ++c) {
        const cv::Vec3d ray = back * cv::Vec3d((columns.start + c - K(0, 2)) / K(0, 0), (r - K(1, 2)) / K(1, 1), 1.0);
        if (ray[2] <= cosField * cv::norm(ray)) {
          row[c] = cv::Vec2f(-1.0f, -1.0f);
          continue;
        }
        const cv::Point2d p = lens.project(ray);
        row[c] = cv::Vec2f(static_cast<float>(p.x), static_cast<float>(p.y));
      }
    }
  });
  cv::Mat view = cv::Mat::zeros(size, size, CV_8U);
  cv::Mat filled = view.colRange(columns);  // remap writes into the view's own columns
  cv::remap(still, filled, map, cv::noArray(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
  return view;
}

}  // namespace ringcalib::extrinsic
