#include "calibration/extrinsic/ring_adjust_input.h"

#include <stdexcept>
#include <string>

#include "calibration/extrinsic/image_orientation.h"
#include "rig/prepared_view.h"

namespace ringcalib::extrinsic {

namespace {

adjust::PairInput pairInput(const PairSolution& pair, int n) {
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
  input.flow = rig::FlowField(m.strip, rig::kViewSize);
  // The re-measured landing points, back through the second view's warp into its prepared
  // view, as the flow's were (matchPair).
  std::vector<cv::Point2f> second = m.refined.warped2;
  rotatePoints(cv::Mat(rig::pairRotation()), second, cv::Mat(rig::targetCamera()));
  // Only the samples that passed the re-measurement enter, as track points and as the flow
  // that carries points on: the flow's own landing points, even as carriers, cost twice the
  // error.
  for (std::size_t k = 0; k < count; ++k) {
    if (inliers[k] == 0 || m.refined.kept[k] == 0) continue;
    input.firstRays.push_back(rig::preparedUnitRay(m.pts1[k]));
    input.secondRays.push_back(rig::preparedUnitRay(second[k]));
    input.secondPixels.push_back(second[k]);
    input.flow.keep(m.warped1[k], m.refined.warped2[k]);
  }
  return input;
}

}  // namespace

adjust::RingInput ringAdjustInput(const RingPairs& pairs) {
  adjust::RingInput input;
  for (int n = 0; n < rig::kCameras; ++n) input[n] = pairInput(pairs[n], n);
  return input;
}

}  // namespace ringcalib::extrinsic
