#include "adjust/ring_adjustment.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include <ceres/ceres.h>

#include "adjust/camera_covariance.h"
#include "adjust/lens_prior.h"
#include "adjust/ray_error.h"
#include "adjust/ring_start.h"
#include "adjust/ring_tracks.h"
#include "adjust/ring_uncertainty.h"
#include "pose/angles.h"
#include "rig/ring_frame.h"

namespace ringcalib::adjust {

namespace {

constexpr int kTracksPerPair = 3000;    // enough for the poses; more only costs time
constexpr int kMinLinkingTracks = 100;  // tracks over three cameras per pair of pairs
constexpr double kLossScalePx = 0.15;   // the Cauchy loss's scale, prepared-view pixels
constexpr double kFarDistance = 100.0;  // a point too far to triangulate, in baselines
constexpr int kMaxIterations = 100;
// The covariance treats every observation as an independent error, but neighbouring flow
// samples share their patches and the tracks over three cameras share the flow they were
// carried by; measured on eight generated rigs, the actual errors were about twice the
// covariance's sigma (median error / sigma 1.97 in rotation, 1.56 in direction).
constexpr double kCorrelatedErrors = 2.0;
constexpr double kMaxStartClosureDeg = 1.0;  // tenfold what the pairwise poses miss by
constexpr double kMaxRotationChangeDeg = 1.0;  // beyond the pairwise poses' worst errors
constexpr double kMaxDirectionChangeDeg = 20.0;

// Stops the solve once the cameras have settled: the points of the faintest parallax keep
// creeping toward infinity long after, which no pose depends on.
class CamerasSettled : public ceres::IterationCallback {
 public:
  explicit CamerasSettled(const RingParameters& ring) : ring_(ring), last_(ring) {}

  ceres::CallbackReturnType operator()(const ceres::IterationSummary& summary) override {
    if (!summary.step_is_successful) return ceres::SOLVER_CONTINUE;
    double moved = 0.0;
    for (int n = 1; n < rig::kCameras; ++n) {
      moved = std::max({moved, cv::norm(ring_.rotations[n] - last_.rotations[n], cv::NORM_INF),
                        cv::norm(ring_.centres[n] - last_.centres[n], cv::NORM_INF)});
    }
    last_ = ring_;
    calm_ = moved < kSettledStep ? calm_ + 1 : 0;
    return calm_ >= kCalmIterations ? ceres::SOLVER_TERMINATE_SUCCESSFULLY : ceres::SOLVER_CONTINUE;
  }

 private:
  static constexpr double kSettledStep = 1e-6;  // radians, or baselines: a tenth of any sigma
  static constexpr int kCalmIterations = 3;
  const RingParameters& ring_;
  RingParameters last_;
  int calm_ = 0;
};

bool converged(const ceres::Solver::Summary& summary) {
  return summary.termination_type == ceres::CONVERGENCE || summary.termination_type == ceres::USER_SUCCESS;
}

// Every track's observations as residual blocks of `problem`, under one Cauchy loss, with the
// gauge: camera 0 is the frame, camera 1's centre lies at distance 1 from it. With `lenses`,
// an observation whose ray lies in its camera's image circle also depends on that camera's
// step from its intrinsics.
std::vector<TrackBlocks> observe(ceres::Problem& problem, const std::vector<Track>& tracks, RingParameters& p,
                                 std::vector<cv::Vec3d>& points, const std::vector<LensRays>* lenses, LensSteps& steps) {
  // One loss for every observation: the problem deletes it once.
  auto* loss = new ceres::CauchyLoss(kLossScalePx);
  std::vector<TrackBlocks> blocks(tracks.size());
  for (std::size_t k = 0; k < tracks.size(); ++k) {
    for (const Observation& o : tracks[k].seen) {
      double* rotation = p.rotations[o.camera].val;
      double* centre = p.centres[o.camera].val;
      LensJacobian J;
      const ceres::ResidualBlockId id =
          lenses != nullptr && (*lenses)[o.camera].jacobian(o.ray, J)
              ? problem.AddResidualBlock(
                    new ceres::AutoDiffCostFunction<LensRayError, 3, 3, 3, 3, rig::kLensParameters>(new LensRayError(o.ray, J)),
                    loss, rotation, centre, points[k].val, steps[o.camera].val)
              : problem.AddResidualBlock(new ceres::AutoDiffCostFunction<RayError, 3, 3, 3, 3>(new RayError(o.ray)),
                                         loss, rotation, centre, points[k].val);
      blocks[k].push_back({id, o.camera, o.ray});
    }
  }
  problem.SetParameterBlockConstant(p.rotations[0].val);
  problem.SetParameterBlockConstant(p.centres[0].val);
  problem.SetManifold(p.centres[1].val, new ceres::SphereManifold<3>());
  return blocks;
}

RingAdjustment failed(const std::string& cause) {
  RingAdjustment result;
  result.failure = cause;
  return result;
}

}  // namespace

RingAdjustment adjustRing(const RingInput& pairs, const UncertainLenses* lenses) {
  std::array<rig::PairPose, rig::kCameras> start;
  for (int n = 0; n < rig::kCameras; ++n) {
    start[n] = rig::fromFileConvention(pairs[n].pose);
  }
  // Pair poses that cannot be one ring (a rotation transposed, a translation reversed) are
  // no start: the adjustment would only move them somewhere else.
  const RingPoses ring = ringFromPairs(start);
  const double startClosure = rig::rotationAngleDeg(rig::chainRing(rig::rotationsOf(start)).closure);
  if (!(startClosure <= kMaxStartClosureDeg)) {
    return failed("the pairwise rotations do not close into a ring (" +
                  std::to_string(startClosure) + " deg)");
  }
  for (int n = 0; n < rig::kCameras; ++n) {
    const double off = rig::directionErrorDeg(pairOfRing(ring, n).t, start[n].t);
    if (!(off <= kMaxDirectionChangeDeg)) {
      return failed("pair " + std::to_string(n) + "-" + std::to_string(rig::nextCamera(n)) +
                    "'s pairwise direction lies " + std::to_string(off) +
                    " deg from the ring's (its cameras are not neighbours on one ring)");
    }
  }
  const std::vector<Track> tracks = ringTracks(pairs, kTracksPerPair);

  std::array<int, rig::kCameras> linking{};
  for (const Track& track : tracks) {
    if (track.seen.size() == 3) ++linking[track.seen.front().camera];
  }
  for (int n = 0; n < rig::kCameras; ++n) {
    if (linking[n] < kMinLinkingTracks) {
      return failed("too few tracks over cameras " + std::to_string(n) + ", " +
                    std::to_string(rig::nextCamera(n)) + " and " +
                    std::to_string(rig::nextCamera(rig::nextCamera(n))) + " (" +
                    std::to_string(linking[n]) + " < " + std::to_string(kMinLinkingTracks) + ")");
    }
  }

  RingParameters p;
  for (int n = 0; n < rig::kCameras; ++n) {
    p.rotations[n] = rotationVector(ring[n].R);
    p.centres[n] = ring[n].centre;
  }
  std::vector<cv::Vec3d> points(tracks.size());
  for (std::size_t k = 0; k < tracks.size(); ++k) {
    const Observation& a = tracks[k].seen[0];
    const Observation& b = tracks[k].seen[1];
    if (!triangulate(ring[a.camera].centre, ring[a.camera].R.t() * a.ray, ring[b.camera].centre,
                     ring[b.camera].R.t() * b.ray, points[k])) {
      points[k] = ring[a.camera].centre + kFarDistance * (ring[a.camera].R.t() * a.ray);
    }
  }
  LensSteps lensSteps{};
  ceres::Problem problem;
  std::vector<TrackBlocks> blocks = observe(problem, tracks, p, points, nullptr, lensSteps);
  int observations = 0;
  for (const TrackBlocks& track : blocks) observations += static_cast<int>(track.size());

  ceres::Solver::Options options;
  options.linear_solver_type = ceres::DENSE_SCHUR;
  options.max_num_iterations = kMaxIterations;
  // One thread: the solver's sums then run in one order, so the adjusted poses are the same
  // bytes on any number of threads, as the rest of the job's output is.
  options.num_threads = 1;
  options.logging_type = ceres::SILENT;
  // The directions are weakly held: the default tolerances stop before they settle.
  options.function_tolerance = 1e-8;
  options.parameter_tolerance = 1e-10;
  CamerasSettled settled(p);
  options.callbacks.push_back(&settled);
  options.update_state_every_iteration = true;
  ceres::Solver::Summary summary;
  ceres::Solve(options, &problem, &summary);
  if (!converged(summary)) return failed("the adjustment did not converge (" + summary.message + ")");
  // The errors' variance; each observation has two degrees of freedom (its error along the
  // ray is second order).
  const int freedom = 2 * observations - summary.num_effective_parameters;
  const double variance = 2.0 * summary.final_cost / std::max(1, freedom);

  // Given the intrinsics' covariance, a second solve from there frees each camera's step from
  // its intrinsics too, the boards' covariance weighed against the observations' errors as
  // the covariance below counts them.
  std::optional<LensInformation> prior;
  ceres::Problem refined;
  if (lenses != nullptr) {
    std::vector<LensRays> rays;
    for (const UncertainLens& lens : *lenses) rays.emplace_back(lens);
    prior = lensInformation(*lenses, kCorrelatedErrors * kCorrelatedErrors * variance);
    blocks = observe(refined, tracks, p, points, &rays, lensSteps);
    addLensPriors(refined, *prior, lensSteps);
    CamerasSettled settledAgain(p);
    options.callbacks = {&settledAgain};
    ceres::Solve(options, &refined, &summary);
    if (!converged(summary)) return failed("the adjustment did not converge (" + summary.message + ")");
  }

  // The covariance of cameras 1 ... 5, scaled by the errors' own variance.
  CameraMatrix C;
  if (!cameraCovariance(lenses != nullptr ? refined : problem, blocks, p,
                        prior ? &*prior : nullptr, C)) {
    return failed("a camera is left unconstrained (the poses' covariance is singular)");
  }
  const std::array<PairSigma, rig::kCameras> sigmas = pairSigmas(p, C * variance);

  RingPoses adjusted;
  for (int n = 0; n < rig::kCameras; ++n) {
    adjusted[n].R = rotationMatrix(p.rotations[n]);
    adjusted[n].centre = p.centres[n];
  }
  RingAdjustment result;
  for (int n = 0; n < rig::kCameras; ++n) {
    const rig::PairPose pose = pairOfRing(adjusted, n);
    const double turned = rig::rotationErrorDeg(pose.R, start[n].R);
    const double moved = rig::directionErrorDeg(pose.t, start[n].t);
    if (!(turned <= kMaxRotationChangeDeg && moved <= kMaxDirectionChangeDeg)) {
      return failed("the adjusted pair " + std::to_string(n) + "-" +
                    std::to_string(rig::nextCamera(n)) + " lies far from its pairwise pose (" +
                    std::to_string(turned) + " deg, " + std::to_string(moved) + " deg)");
    }
    result.pairs[n] = {rig::toFileConvention(pose), kCorrelatedErrors * sigmas[n].rotationDeg,
                       kCorrelatedErrors * sigmas[n].directionDeg};
  }
  result.adjusted = true;
  result.tracks = static_cast<int>(tracks.size());
  for (int count : linking) result.threeCameraTracks += count;
  return result;
}

}  // namespace ringcalib::adjust
