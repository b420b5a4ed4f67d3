#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>

// A pair's dense flow as sampled: the grid of the first warped view on which the flow is read
// (every kStep pixels in x and y, from the strip's first column and row 0) and, per sample
// kept, where it lands in the second warped view. The one home of the grid step: the job's
// flow samples on it, the ring adjustment carries points along it.
namespace ringcalib::rig {

class FlowField {
 public:
  static constexpr int kStep = 5;  // pixels between samples, in x and in y

  // One grid node: the sample's point in the first warped view and where it lands.
  struct Node {
    cv::Point2f from;
    cv::Point2f to;
    bool kept = false;
  };

  FlowField() = default;
  // An empty field over the columns `strip` of a warped view `rows` pixels high.
  FlowField(const cv::Range& strip, int rows);

  // Records the sample at `from` (warped first view, rounded to its node) landing at `to`;
  // false, recording nothing, when `from` lies off the grid.
  bool keep(const cv::Point2f& from, const cv::Point2f& to);

  // The grid cell around warped first view point `w`: its four nodes (top left, top right,
  // bottom left, bottom right) and w's place in it (0 ... 1 each way); false off the grid.
  bool cell(const cv::Point2d& w, std::array<Node, 4>& corners, cv::Point2d& fraction) const;

  // The flow's local linear map around the kept node at `from` (d to / d from), fitted by
  // least squares to the kept nodes up to `reach` nodes away in x and y; false when `from`
  // is no kept node or its neighbours do not span the plane.
  bool localMap(const cv::Point2f& from, int reach, cv::Matx22d& map) const;

 private:
  cv::Range strip_;
  int columns_ = 0;
  int rows_ = 0;
  std::vector<Node> nodes_;  // row by row
};

}  // namespace ringcalib::rig
