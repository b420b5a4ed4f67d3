// Correspondences between two warped neighbouring views from dense optical flow.
#include <cmath>

#include <opencv2/video/tracking.hpp>

#include "calibration/extrinsic/dense_flow_matches.h"
#include "rig/flow_field.h"
#include "rig/prepared_view.h"

namespace {

constexpr float kRoundTripTolerance = 1.0f;  // |backward + forward| per component, pixels

// Whether start + trunc(flow) lies strictly between 0 and last. Tested in double so that
// a huge or NaN flow never reaches an integer conversion.
bool truncatedTargetInside(int start, float flow, int last) {
  const double target = start + std::trunc(static_cast<double>(flow));
  return target > 0 && target < last;
}

}  // namespace

namespace ringcalib::extrinsic {

void matchesFromDenseOpticalFlow(const cv::Mat& I1, const cv::Mat& I2,
                                 std::vector<cv::Point2f>& pts1,
                                 std::vector<cv::Point2f>& pts2) {
  // The strip of I1's width is cut out of both images.
  const cv::Range strip = ringcalib::rig::flowStripColumns(I1.cols);
  const int x0 = strip.start;
  const int width = strip.size();
  // The flow needs continuous images: the strips are copied out.
  const cv::Mat strip1 = I1(cv::Rect(x0, 0, width, I1.rows)).clone();
  const cv::Mat strip2 = I2(cv::Rect(x0, 0, width, I2.rows)).clone();

  // The medium preset as the installed library defines it; its pyramid depth is the
  // library's own choice for the strip size.
  const cv::Ptr<cv::DISOpticalFlow> dis =
      cv::DISOpticalFlow::create(cv::DISOpticalFlow::PRESET_MEDIUM);
  cv::Mat forward;
  cv::Mat backward;
  dis->calc(strip1, strip2, forward);
  dis->calc(strip2, strip1, backward);

  const int lastCol = forward.cols - 1;
  const int lastRow = forward.rows - 1;
  for (int y = 0; y < forward.rows; y += ringcalib::rig::FlowField::kStep) {
    const cv::Vec2f* forwardRow = forward.ptr<cv::Vec2f>(y);
    for (int x = 0; x < forward.cols; x += ringcalib::rig::FlowField::kStep) {
      const float fx = forwardRow[x][0];
      const float fy = forwardRow[x][1];
      if (!truncatedTargetInside(x, fx, lastCol) || !truncatedTargetInside(y, fy, lastRow)) {
        continue;
      }
      // A match survives only if the flow back from where it lands (read at the truncated
      // position) returns to the start: occlusions and mismatches fail this round trip.
      const int xi = x + static_cast<int>(fx);
      const int yi = y + static_cast<int>(fy);
      const cv::Vec2f& back = backward.at<cv::Vec2f>(yi, xi);
      if (!(std::abs(back[0] + fx) <= kRoundTripTolerance &&
            std::abs(back[1] + fy) <= kRoundTripTolerance)) {
        continue;
      }
      const float px = x + fx;
      const float py = y + fy;
      if (!(px > 0 && px < lastCol && py > 0 && py < lastRow)) continue;
      pts1.emplace_back(static_cast<float>(x0 + x), static_cast<float>(y));
      pts2.emplace_back(px + x0, py);
    }
  }
}

}  // namespace ringcalib::extrinsic
