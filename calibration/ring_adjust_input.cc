#include "calibration/ring_adjust_input.h"

#include <stdexcept>
#include <string>

#include "rig/prepared_view.h"

namespace ringcalib::extrinsic {

namespace {

adjust::PairInput pairInput(const PairSolution& pair, int n) {
  const PairMatches& m = pair.matches;
  const std::size_t count = m.pts1.size();
  if (pair.fit.inliers.size() != count || m.pts2.size() != count || m.warped1.size() != count ||
      m.warped2.size() != count) {
    throw std::invalid_argument("pair " + std::to_string(n) +
                                "'s inlier mask or flow samples do not match its correspondences");
  }
  adjust::PairInput input;
  input.pose = {cv::Matx33d(pair.pose.R), cv::Vec3d(pair.pose.t)};
  input.flow = rig::FlowField(m.strip, rig::kViewSize);
  for (std::size_t k = 0; k < count; ++k) {
    if (pair.fit.inliers[k] == 0) continue;
    input.firstRays.push_back(rig::preparedUnitRay(m.pts1[k]));
    input.secondRays.push_back(rig::preparedUnitRay(m.pts2[k]));
    input.secondPixels.push_back(m.pts2[k]);
    input.flow.keep(m.warped1[k], m.warped2[k]);
  }
  return input;
}

}  // namespace

adjust::RingInput ringAdjustInput(const std::array<const PairSolution*, rig::kCameras>& pairs) {
  adjust::RingInput input;
  for (int n = 0; n < rig::kCameras; ++n) input[n] = pairInput(*pairs[n], n);
  return input;
}

}  // namespace ringcalib::extrinsic
