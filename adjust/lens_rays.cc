#include "adjust/lens_rays.h"

#include <array>

#include "rig/prepared_view.h"

namespace ringcalib::adjust {

namespace {

// Steps small against each parameter's uncertainty (tenths of a pixel, thousandths of the
// k's) and large against the unprojection's rounding.
constexpr std::array<double, rig::kLensParameters> kSteps = {1e-3, 1e-3, 1e-3, 1e-3, 1e-6, 1e-6, 1e-6, 1e-6};

rig::FisheyeLens movedLens(const UncertainLens& lens, int parameter, double step) {
  cv::Matx33d K = lens.K;
  cv::Vec4d D = lens.D;
  static constexpr std::array<int, 4> kEntries = {0, 4, 2, 5};  // fx, fy, cx, cy in K
  if (parameter < 4) {
    K.val[kEntries[parameter]] += step;
  } else {
    D[parameter - 4] += step;
  }
  return rig::FisheyeLens(K, D);
}

}  // namespace

LensRays::LensRays(const UncertainLens& lens, rig::PoseFrame frame)
    : lens_(lens.K, lens.D), toFrame_(frame == rig::PoseFrame::kPrepared ? rig::quarterTurn() : cv::Matx33d::eye()) {
  for (int k = 0; k < rig::kLensParameters; ++k) {
    moved_.push_back(movedLens(lens, k, -kSteps[k]));
    moved_.push_back(movedLens(lens, k, kSteps[k]));
  }
}

bool LensRays::jacobian(const cv::Vec3d& ray, LensJacobian& J) const {
  const cv::Matx33d& Q = toFrame_;
  const cv::Point2d x = lens_.project(Q.t() * ray);
  for (int k = 0; k < rig::kLensParameters; ++k) {
    cv::Vec3d less;
    cv::Vec3d more;
    if (!moved_[2 * k].unproject(x.x, x.y, less) || !moved_[2 * k + 1].unproject(x.x, x.y, more)) {
      return false;
    }
    const cv::Vec3d d = Q * (more - less) * (0.5 / kSteps[k]);
    for (int r = 0; r < 3; ++r) J(r, k) = d[r];
  }
  return true;
}

}  // namespace ringcalib::adjust
