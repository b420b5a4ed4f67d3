#include "rig/flow_field.h"

#include <algorithm>
#include <cmath>

namespace ringcalib::rig {

FlowField::FlowField(const cv::Range& strip, int rows)
    : strip_(strip),
      columns_(strip.size() / kStep + 1),
      rows_(rows / kStep + 1),
      nodes_(static_cast<std::size_t>(columns_) * rows_) {}

bool FlowField::keep(const cv::Point2f& from, const cv::Point2f& to) {
  const long gx = std::lround((from.x - strip_.start) / kStep);
  const long gy = std::lround(from.y / kStep);
  if (!(gx >= 0 && gx < columns_ && gy >= 0 && gy < rows_)) return false;
  nodes_[gy * columns_ + gx] = {from, to, true};
  return true;
}

bool FlowField::cell(const cv::Point2d& w, std::array<Node, 4>& corners,
                     cv::Point2d& fraction) const {
  const double gx = (w.x - strip_.start) / kStep;
  const double gy = w.y / kStep;
  // Tested in double so that a point far off (or NaN) never reaches an integer conversion.
  if (!(gx >= 0 && gy >= 0 && gx < columns_ - 1 && gy < rows_ - 1)) return false;
  const int x0 = static_cast<int>(std::floor(gx));
  const int y0 = static_cast<int>(std::floor(gy));
  const std::size_t top = static_cast<std::size_t>(y0) * columns_ + x0;
  corners = {nodes_[top], nodes_[top + 1], nodes_[top + columns_], nodes_[top + columns_ + 1]};
  fraction = {gx - x0, gy - y0};
  return true;
}

bool FlowField::localMap(const cv::Point2f& from, int reach, cv::Matx22d& map) const {
  const long gx = std::lround((from.x - strip_.start) / kStep);
  const long gy = std::lround(from.y / kStep);
  if (!(gx >= 0 && gx < columns_ && gy >= 0 && gy < rows_)) return false;
  const Node& centre = nodes_[gy * columns_ + gx];
  if (!centre.kept) return false;
  // Normal equations of  to_j - to = map (from_j - from)  over the neighbours j.
  cv::Matx22d spread = cv::Matx22d::zeros();
  cv::Matx22d moved = cv::Matx22d::zeros();
  for (long y = std::max(0L, gy - reach); y <= std::min<long>(rows_ - 1, gy + reach); ++y) {
    for (long x = std::max(0L, gx - reach); x <= std::min<long>(columns_ - 1, gx + reach); ++x) {
      const Node& node = nodes_[y * columns_ + x];
      if (!node.kept || (x == gx && y == gy)) continue;
      const cv::Vec2d d(node.from.x - centre.from.x, node.from.y - centre.from.y);
      const cv::Vec2d e(node.to.x - centre.to.x, node.to.y - centre.to.y);
      spread += d * d.t();
      moved += e * d.t();
    }
  }
  // Neighbours on one line (or none) leave the map undetermined across it.
  const double det = cv::determinant(spread);
  if (!(det > 1e-6 * (spread(0, 0) + spread(1, 1)) * (spread(0, 0) + spread(1, 1)))) return false;
  map = moved * spread.inv();
  return true;
}

}  // namespace ringcalib::rig
