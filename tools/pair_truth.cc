#include "tools/pair_truth.h"

#include <cmath>

#include <opencv2/calib3d.hpp>

#include "rig/prepared_view.h"

namespace ringcalib::synth {
namespace {

const cv::Range kStrip = rig::flowStripColumns(rig::kViewSize);

bool insideView(const cv::Point2d& p) {
  return p.x >= 0.0 && p.y >= 0.0 && p.x <= rig::kViewSize - 1 && p.y <= rig::kViewSize - 1;
}

bool insideStrip(const cv::Point2d& q) {
  return q.x > kStrip.start && q.x < kStrip.end - 1 && q.y > 0.0 && q.y < rig::kViewSize - 1;
}

// The pose moved by the increment (rotation vector, two tangent steps of t).
PairTruth perturbed(const PairTruth& pose, const cv::Vec<double, 5>& step) {
  cv::Matx33d turn;
  cv::Rodrigues(cv::Vec3d(step[0], step[1], step[2]), turn);
  // Two directions orthogonal to t span its tangent plane on the unit sphere.
  const cv::Vec3d helper = std::abs(pose.t[0]) < 0.9 ? cv::Vec3d(1, 0, 0) : cv::Vec3d(0, 1, 0);
  const cv::Vec3d e1 = cv::normalize(pose.t.cross(helper));
  const cv::Vec3d e2 = pose.t.cross(e1);
  return {turn * pose.R, cv::normalize(pose.t + step[3] * e1 + step[4] * e2)};
}

}  // namespace

std::vector<PairCorrespondence> pairStripCorrespondences(const RingCamera& first, const RingCamera& second,
                                                         const SurroundScene& scene, int gridStep) {
  const cv::Matx33d P = rig::pairRotation();
  std::vector<PairCorrespondence> points;
  for (int y = 0; y < rig::kViewSize; y += gridStep) {
    for (int x = kStrip.start; x < kStrip.end; x += gridStep) {
      // Warped view i shows prepared pixel K Pᵀ K⁻¹ q; warped view j shows K P K⁻¹ q, so a
      // prepared pixel p of j appears at K Pᵀ K⁻¹ p of its warped view.
      PairCorrespondence c;
      c.first = rig::throughHomography(P.t(), cv::Point2d(x, y));
      if (!insideView(c.first)) continue;
      const cv::Vec3d ray = preparedRay(first, c.first);
      const SceneHit hit = scene.cast(first.centre, ray);
      if (hit.surface < 0) continue;
      const cv::Vec3d point = first.centre + hit.distance * ray;
      if (!preparedPixel(second, point, c.second) || !insideView(c.second)) continue;
      if (!insideStrip(rig::throughHomography(P.t(), c.second))) continue;
      const double distance = cv::norm(point - second.centre);
      const SceneHit seen = scene.cast(second.centre, (point - second.centre) / distance);
      if (seen.surface < 0 || seen.distance < distance * (1.0 - 1e-9)) continue;
      points.push_back(c);
    }
  }
  return points;
}

std::vector<double> sampsonResiduals(const std::vector<PairCorrespondence>& points, const PairTruth& pose) {
  const cv::Matx33d F = rig::fundamentalOfPose(rig::targetCamera(), pose);
  std::vector<double> residuals;
  residuals.reserve(points.size());
  for (const PairCorrespondence& c : points) residuals.push_back(rig::sampsonError(F, c.first, c.second));
  return residuals;
}

PairTruth fitToolConventionPose(const std::vector<PairCorrespondence>& points, const PairTruth& start) {
  constexpr double kStep = 1e-7;  // central differences: error ~ kStep², far below the residuals
  PairTruth pose = start;
  pose.t = cv::normalize(pose.t);
  for (int iteration = 0; iteration < 30; ++iteration) {
    const std::vector<double> r = sampsonResiduals(points, pose);
    cv::Matx<double, 5, 5> JtJ = cv::Matx<double, 5, 5>::zeros();
    cv::Vec<double, 5> Jtr = cv::Vec<double, 5>::all(0.0);
    std::vector<std::vector<double>> columns(5);
    for (int k = 0; k < 5; ++k) {
      cv::Vec<double, 5> delta = cv::Vec<double, 5>::all(0.0);
      delta[k] = kStep;
      const std::vector<double> plus = sampsonResiduals(points, perturbed(pose, delta));
      const std::vector<double> minus = sampsonResiduals(points, perturbed(pose, -delta));
      columns[static_cast<size_t>(k)].resize(r.size());
      for (size_t n = 0; n < r.size(); ++n) columns[static_cast<size_t>(k)][n] = (plus[n] - minus[n]) / (2.0 * kStep);
    }
    for (size_t n = 0; n < r.size(); ++n) {
      for (int a = 0; a < 5; ++a) {
        Jtr[a] += columns[static_cast<size_t>(a)][n] * r[n];
        for (int b = 0; b < 5; ++b) JtJ(a, b) += columns[static_cast<size_t>(a)][n] * columns[static_cast<size_t>(b)][n];
      }
    }
    cv::Vec<double, 5> step;
    if (!cv::solve(JtJ, -Jtr, step, cv::DECOMP_CHOLESKY)) break;
    pose = perturbed(pose, step);
    if (cv::norm(step) < 1e-12) break;
  }
  return pose;
}

}  // namespace ringcalib::synth
