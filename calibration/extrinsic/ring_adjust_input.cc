#include "calibration/extrinsic/ring_adjust_input.h"

#include <stdexcept>
#include <string>

#include "calibration/extrinsic/image_orientation.h"
#include "rig/prepared_view.h"

namespace ringcalib::extrinsic {

namespace {

adjust::PairInput pairInput(const PairSolution& pair, int n) {
  const PairView& view = pair.view;
  if (!pair.matches || !pair.fit || !pair.estimate) {
    throw std::invalid_argument("pair " + std::to_string(n) + " is not solved");
  }
  const PairMatches& m = *pair.matches;
  const std::vector<unsigned char>& inliers = pair.fit->inliers;
  const std::size_t count = m.pts1.size();
  if (inliers.size() != count || m.pts2.size() != count || m.warped1.size() != count ||
      m.warped2.size() != count || m.refined.warped2.size() != count ||
      m.refined.kept.size() != count) {
    throw std::invalid_argument("pair " + std::to_string(n) +
                                "'s inlier mask or flow samples do not match its correspondences");
  }
  adjust::PairInput input;
  input.pose = pair.estimate->pose;
  input.flow = rig::FlowField(m.strip, view.size);
  // The re-measured landing points where the pose was fitted: back through the second view's
  // warp into its prepared view, as the flow's were (matchPair), or the pair's own views.
  std::vector<cv::Point2f> second = m.refined.warped2;
  if (view.prepared) rotatePoints(cv::Mat(rig::pairRotation()), second, cv::Mat(rig::targetCamera()));
  // Only the samples that passed the re-measurement enter, as track points and as the flow
  // that carries points on: the flow's own landing points, even as carriers, cost twice the
  // error.
  for (std::size_t k = 0; k < count; ++k) {
    if (inliers[k] == 0 || m.refined.kept[k] == 0) continue;
    if (view.prepared) {
      input.firstRays.push_back(rig::preparedUnitRay(m.pts1[k]));
      input.secondRays.push_back(rig::preparedUnitRay(second[k]));
    } else {
      input.firstRays.push_back(cv::normalize(view.firstRay(m.pts1[k])));
      input.secondRays.push_back(cv::normalize(view.secondRay(second[k])));
    }
    input.secondPixels.push_back(second[k]);
    input.flow.keep(m.warped1[k], m.refined.warped2[k]);
  }
  return input;
}

}  // namespace

adjust::RingInput ringAdjustInput(const RingPairs& pairs, rig::PoseFrame frame) {
  adjust::RingInput input;
  input.frame = frame;
  const int cameras = static_cast<int>(pairs.size());
  for (int n = 0; n < cameras; ++n) input.pairs.push_back(pairInput(pairs[n], n));
  if (frame == rig::PoseFrame::kPrepared) {
    // Every pair's views are the prepared views turned by the pair rotation: the second view's
    // prepared pixel is the next pair's first view's, which the pair rotation warps.
    input.intoNextFlow = [](int, const cv::Point2f& p) {
      return rig::throughHomography(rig::pairRotation(), cv::Point2d(p.x, p.y));
    };
    input.carriedRay = [](int, const cv::Point2f& w) {
      const cv::Point2d p = rig::throughHomography(rig::pairRotation(), cv::Point2d(w.x, w.y));
      return rig::preparedUnitRay(cv::Point2f(static_cast<float>(p.x), static_cast<float>(p.y)));
    };
    return input;
  }
  // Each pair's views look along its own frame: a point of camera n + 1 passes from pair n's
  // second view into pair n + 1's first through the camera's ray.
  std::vector<PairView> views;
  for (const PairSolution& pair : pairs) views.push_back(pair.view);
  input.intoNextFlow = [views, cameras](int n, const cv::Point2f& p) {
    const PairView& next = views[rig::nextCamera(n, cameras)];
    const cv::Vec3d h = next.K * (next.first * views[n].secondRay(p));
    return cv::Point2d(h[0] / h[2], h[1] / h[2]);
  };
  input.carriedRay = [views](int n, const cv::Point2f& w) { return cv::normalize(views[n].secondRay(w)); };
  return input;
}

}  // namespace ringcalib::extrinsic
