#include "adjust/ring_tracks.h"

#include <algorithm>

#include "rig/prepared_view.h"

namespace ringcalib::adjust {

namespace {

constexpr std::size_t kLinkDensity = 4;
constexpr double kSmoothFlowPx = 1.0;   // largest spread of the four flows carried on from

// Where pair `flow` carries prepared pixel p of its first camera into its second camera's
// prepared view: bilinear between the four grid nodes around it, when all four were kept and
// their flows agree (no edge of depth between them).
bool carry(const rig::FlowField& flow, const cv::Point2f& p, cv::Point2f& carried) {
  // The first view's warp is the transpose of the pair rotation; the pair rotation undoes it.
  const cv::Point2d w = rig::throughHomography(rig::pairRotation(), cv::Point2d(p.x, p.y));
  std::array<rig::FlowField::Node, 4> node;
  cv::Point2d fraction;
  if (!flow.cell(w, node, fraction)) return false;
  cv::Point2f lowest(1e9f, 1e9f);
  cv::Point2f highest(-1e9f, -1e9f);
  for (const rig::FlowField::Node& k : node) {
    if (!k.kept) return false;
    const cv::Point2f step = k.to - k.from;
    lowest = {std::min(lowest.x, step.x), std::min(lowest.y, step.y)};
    highest = {std::max(highest.x, step.x), std::max(highest.y, step.y)};
  }
  if (highest.x - lowest.x > kSmoothFlowPx || highest.y - lowest.y > kSmoothFlowPx) return false;
  const float fx = static_cast<float>(fraction.x);
  const float fy = static_cast<float>(fraction.y);
  // Between the warped views the flow is nearly linear over a cell; the prepared view's
  // warp, far off its axis, is not: interpolate there and take the warp exactly.
  const cv::Point2f w2 = (1 - fy) * ((1 - fx) * node[0].to + fx * node[1].to) +
                         fy * ((1 - fx) * node[2].to + fx * node[3].to);
  const cv::Point2d p2 = rig::throughHomography(rig::pairRotation(), cv::Point2d(w2.x, w2.y));
  carried = cv::Point2f(static_cast<float>(p2.x), static_cast<float>(p2.y));
  return true;
}

}  // namespace

std::vector<Track> ringTracks(const RingInput& pairs, int perPair) {
  std::vector<Track> tracks;
  for (int n = 0; n < rig::kCameras; ++n) {
    const PairInput& pair = pairs[n];
    const std::size_t count =
        std::min({pair.firstRays.size(), pair.secondRays.size(), pair.secondPixels.size()});
    // Correspondences that carry on into a third camera tie the ring together; they are
    // taken kLinkDensity times as densely as the others.
    const std::size_t stride =
        kLinkDensity * std::max<std::size_t>(1, count / std::max(1, perPair) / kLinkDensity);
    const int next = rig::nextCamera(n);
    for (std::size_t k = 0; k < count; ++k) {
      if (k % (stride / kLinkDensity) != 0) continue;
      Track track;
      track.seen.push_back({n, pair.firstRays[k]});
      track.seen.push_back({next, pair.secondRays[k]});
      cv::Point2f carried;
      if (carry(pairs[next].flow, pair.secondPixels[k], carried)) {
        track.seen.push_back({rig::nextCamera(next), rig::preparedUnitRay(carried)});
      } else if (k % stride != 0) {
        continue;
      }
      tracks.push_back(std::move(track));
    }
  }
  return tracks;
}

}  // namespace ringcalib::adjust
