#include "adjust/ring_tracks.h"

#include <algorithm>
#include <cmath>

#include "rig/prepared_view.h"

namespace ringcalib::adjust {

namespace {

constexpr int kGridStep = 5;            // the flow's sample spacing in the warped first view
constexpr std::size_t kLinkDensity = 4;
constexpr double kSmoothFlowPx = 1.0;   // largest spread of the four flows carried on from

cv::Vec3d unitRay(const cv::Point2f& pixel) {
  return cv::normalize(rig::preparedDirection(cv::Point2d(pixel.x, pixel.y)));
}

// Pair n's inlier correspondences indexed by their grid node in the warped first view, so
// that a point of the first camera finds the flow around it.
class FlowGrid {
 public:
  explicit FlowGrid(const extrinsic::PairSolution& pair) : pair_(pair) {
    const extrinsic::PairMatches& m = pair.matches;
    columns_ = m.strip.size() / kGridStep + 1;
    rows_ = rig::kViewSize / kGridStep + 1;
    index_.assign(static_cast<std::size_t>(columns_) * rows_, -1);
    for (std::size_t k = 0; k < m.warped1.size(); ++k) {
      if (pair.fit.inliers[k] == 0) continue;
      const int gx = static_cast<int>(std::lround((m.warped1[k].x - m.strip.start) / kGridStep));
      const int gy = static_cast<int>(std::lround(m.warped1[k].y / kGridStep));
      if (gx >= 0 && gx < columns_ && gy >= 0 && gy < rows_) index_[gy * columns_ + gx] = static_cast<int>(k);
    }
  }

  // Where the flow carries prepared pixel p of the first camera into the second camera's
  // prepared view: bilinear between the four grid nodes around it, when all four are inliers
  // and their flows agree (no edge of depth between them).
  bool carry(const cv::Point2f& p, cv::Point2f& carried) const {
    const extrinsic::PairMatches& m = pair_.matches;
    // The first view's warp is the transpose of the pair rotation; the pair rotation undoes it.
    const cv::Point2d w = rig::throughHomography(rig::pairRotation(), cv::Point2d(p.x, p.y));
    const double gx = (w.x - m.strip.start) / kGridStep;
    const double gy = w.y / kGridStep;
    const int x0 = static_cast<int>(std::floor(gx));
    const int y0 = static_cast<int>(std::floor(gy));
    if (x0 < 0 || y0 < 0 || x0 + 1 >= columns_ || y0 + 1 >= rows_) return false;
    std::array<int, 4> node{index_[y0 * columns_ + x0], index_[y0 * columns_ + x0 + 1],
                            index_[(y0 + 1) * columns_ + x0], index_[(y0 + 1) * columns_ + x0 + 1]};
    cv::Point2f lowest(1e9f, 1e9f);
    cv::Point2f highest(-1e9f, -1e9f);
    for (int k : node) {
      if (k < 0) return false;
      const cv::Point2f flow = m.warped2[k] - m.warped1[k];
      lowest = {std::min(lowest.x, flow.x), std::min(lowest.y, flow.y)};
      highest = {std::max(highest.x, flow.x), std::max(highest.y, flow.y)};
    }
    if (highest.x - lowest.x > kSmoothFlowPx || highest.y - lowest.y > kSmoothFlowPx) return false;
    const float fx = static_cast<float>(gx - x0);
    const float fy = static_cast<float>(gy - y0);
    // Between the warped views the flow is nearly linear over a cell; the prepared view's
    // warp, far off its axis, is not: interpolate there and take the warp exactly.
    const cv::Point2f w2 = (1 - fy) * ((1 - fx) * m.warped2[node[0]] + fx * m.warped2[node[1]]) +
                           fy * ((1 - fx) * m.warped2[node[2]] + fx * m.warped2[node[3]]);
    const cv::Point2d p2 = rig::throughHomography(rig::pairRotation(), cv::Point2d(w2.x, w2.y));
    carried = cv::Point2f(static_cast<float>(p2.x), static_cast<float>(p2.y));
    return true;
  }

 private:
  const extrinsic::PairSolution& pair_;
  int columns_ = 0;
  int rows_ = 0;
  std::vector<int> index_;
};

}  // namespace

std::vector<Track> ringTracks(
    const std::array<const extrinsic::PairSolution*, rig::kCameras>& pairs, int perPair) {
  std::vector<FlowGrid> grids;
  grids.reserve(rig::kCameras);
  for (const extrinsic::PairSolution* pair : pairs) grids.emplace_back(*pair);
  std::vector<Track> tracks;
  for (int n = 0; n < rig::kCameras; ++n) {
    const extrinsic::PairMatches& m = pairs[n]->matches;
    const std::vector<unsigned char>& inliers = pairs[n]->fit.inliers;
    const std::size_t count = std::count(inliers.begin(), inliers.end(), 1);
    // Correspondences that carry on into a third camera tie the ring together; they are
    // taken kLinkDensity times as densely as the others.
    const std::size_t stride =
        kLinkDensity * std::max<std::size_t>(1, count / std::max(1, perPair) / kLinkDensity);
    const int next = rig::nextCamera(n);
    std::size_t seenInliers = 0;
    for (std::size_t k = 0; k < m.pts1.size(); ++k) {
      if (inliers[k] == 0) continue;
      const std::size_t rank = seenInliers++;
      if (rank % (stride / kLinkDensity) != 0) continue;
      Track track;
      track.seen.push_back({n, unitRay(m.pts1[k])});
      track.seen.push_back({next, unitRay(m.pts2[k])});
      cv::Point2f carried;
      if (grids[next].carry(m.pts2[k], carried)) {
        track.seen.push_back({rig::nextCamera(next), unitRay(carried)});
      } else if (rank % stride != 0) {
        continue;
      }
      tracks.push_back(std::move(track));
    }
  }
  return tracks;
}

}  // namespace ringcalib::adjust
