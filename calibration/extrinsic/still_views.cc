// Views of a camera's still in frames of its own choosing, for a ring of another layout than
// the standard rig's: the rays are projected through the rig model's lens every few pixels
// and interpolated between (report/still_lookup.h), as the report's pictures are.
#include "calibration/extrinsic/still_views.h"

#include <opencv2/imgproc.hpp>

#include "report/still_lookup.h"

namespace ringcalib::extrinsic {

cv::Mat viewOfStill(const cv::Mat& still, const rig::FisheyeCamera& camera, const cv::Matx33d& toView,
                    const cv::Matx33d& K, int size, const cv::Range& columns) {
  const cv::Matx33d back = toView.t();
  const report::StillLookup lookup =
      report::lookUpStill(camera, still.size(), cv::Size(columns.size(), size), [&](double col, double row) {
        return back * cv::Vec3d((columns.start + col - K(0, 2)) / K(0, 0), (row - K(1, 2)) / K(1, 1), 1.0);
      });
  cv::Mat view = cv::Mat::zeros(size, size, CV_8U);
  cv::Mat filled = view.colRange(columns);  // remap writes into the view's own columns
  cv::remap(still, filled, lookup.map, cv::noArray(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
  return view;
}

}  // namespace ringcalib::extrinsic
