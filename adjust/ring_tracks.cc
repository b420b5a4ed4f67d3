#include "adjust/ring_tracks.h"

#include <algorithm>


namespace ringcalib::adjust {

namespace {

constexpr std::size_t kLinkDensity = 4;
constexpr double kSmoothFlowPx = 1.0;   // largest spread of the flows carried on from
// Grid nodes of a cell that must have been kept to carry a point through it: the flow's
// samples that their re-measurement refused leave holes, and requiring all four lost most
// links on plain walls (a pair of pairs of a photo-textured room kept 66 instead of 2000).
constexpr int kMinCarriers = 3;

// Where `flow` carries the pixel w of its first warped view into its second: interpolated
// between the grid nodes around it that were kept (at least kMinCarriers), when their flows
// agree (no edge of depth between them).
bool carry(const rig::FlowField& flow, const cv::Point2d& w, cv::Point2f& w2) {
  std::array<rig::FlowField::Node, 4> node;
  cv::Point2d fraction;
  if (!flow.cell(w, node, fraction)) return false;
  std::array<int, 4> kept{};
  int carriers = 0;
  cv::Point2f lowest(1e9f, 1e9f);
  cv::Point2f highest(-1e9f, -1e9f);
  for (int k = 0; k < 4; ++k) {
    if (!node[k].kept) continue;
    kept[carriers++] = k;
    const cv::Point2f step = node[k].to - node[k].from;
    lowest = {std::min(lowest.x, step.x), std::min(lowest.y, step.y)};
    highest = {std::max(highest.x, step.x), std::max(highest.y, step.y)};
  }
  if (carriers < kMinCarriers) return false;
  if (highest.x - lowest.x > kSmoothFlowPx || highest.y - lowest.y > kSmoothFlowPx) return false;
  // Between the warped views the flow is nearly linear over a cell; the warps, far off the
  // views' axes, are not: interpolate here and take the warps exactly. Four nodes
  // interpolate bilinearly; three, the plane through them (renormalised bilinear weights
  // would pull the point toward the kept nodes).
  if (carriers == 4) {
    const float fx = static_cast<float>(fraction.x);
    const float fy = static_cast<float>(fraction.y);
    w2 = (1 - fy) * ((1 - fx) * node[0].to + fx * node[1].to) +
         fy * ((1 - fx) * node[2].to + fx * node[3].to);
  } else {
    const rig::FlowField::Node& a = node[kept[0]];
    const cv::Point2d ab = node[kept[1]].from - a.from;
    const cv::Point2d ac = node[kept[2]].from - a.from;
    const cv::Point2d aw = w - cv::Point2d(a.from);
    const double det = ab.x * ac.y - ab.y * ac.x;  // the grid's nodes: never zero
    const float u = static_cast<float>((aw.x * ac.y - aw.y * ac.x) / det);
    const float v = static_cast<float>((ab.x * aw.y - ab.y * aw.x) / det);
    w2 = a.to + u * (node[kept[1]].to - a.to) + v * (node[kept[2]].to - a.to);
  }
  return true;
}

}  // namespace

std::vector<Track> ringTracks(const RingInput& ring, int perPair) {
  const std::vector<PairInput>& pairs = ring.pairs;
  const int cameras = static_cast<int>(pairs.size());
  std::vector<Track> tracks;
  for (int n = 0; n < cameras; ++n) {
    const PairInput& pair = pairs[n];
    const std::size_t count =
        std::min({pair.firstRays.size(), pair.secondRays.size(), pair.secondPixels.size()});
    // Correspondences that carry on into a third camera tie the ring together; they are
    // taken kLinkDensity times as densely as the others.
    const std::size_t stride =
        kLinkDensity * std::max<std::size_t>(1, count / std::max(1, perPair) / kLinkDensity);
    const int next = rig::nextCamera(n, cameras);
    for (std::size_t k = 0; k < count; ++k) {
      if (k % (stride / kLinkDensity) != 0) continue;
      Track track;
      track.seen.push_back({n, pair.firstRays[k]});
      track.seen.push_back({next, pair.secondRays[k]});
      cv::Point2f carried;
      if (carry(pairs[next].flow, ring.intoNextFlow(n, pair.secondPixels[k]), carried)) {
        track.seen.push_back({rig::nextCamera(next, cameras), ring.carriedRay(next, carried)});
      } else if (k % stride != 0) {
        continue;
      }
      tracks.push_back(std::move(track));
    }
  }
  return tracks;
}

}  // namespace ringcalib::adjust
