#include "adjust/ring_adjustment.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include <ceres/ceres.h>

#include "adjust/camera_covariance.h"
#include "adjust/lens_prior.h"
#include "adjust/ray_error.h"
#include "adjust/ring_shape.h"
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
    for (int n = 1; n < ring_.cameras(); ++n) {
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

// The prior of a ring without tracks over three cameras (adjust/ring_shape.h): each pair of
// neighbouring baselines alike.
std::vector<ShapeBlock> holdShape(ceres::Problem& problem, RingParameters& p) {
  const int cameras = p.cameras();
  std::vector<ShapeBlock> blocks;
  for (int n = 0; n < cameras; ++n) {
    const int b = rig::nextCamera(n, cameras);
    const int c = rig::nextCamera(b, cameras);
    const ceres::ResidualBlockId id = problem.AddResidualBlock(
        new ceres::AutoDiffCostFunction<AlikeBaselines, 1, 3, 3, 3>(new AlikeBaselines), nullptr, p.centres[n].val,
        p.centres[b].val, p.centres[c].val);
    blocks.push_back({id, {n, b, c}});
  }
  return blocks;
}

RingAdjustment failed(const std::string& cause) {
  RingAdjustment result;
  result.failure = cause;
  return result;
}

// The start check. Pair poses that cannot be one ring (a rotation transposed, a translation
// reversed) are no start: the adjustment would only move them somewhere else. Returns why
// not, or nothing when `ring`, chained from the pairwise poses `start`, is a start.
std::optional<std::string> refuseStart(const std::vector<rig::PairPose>& start, const RingPoses& ring) {
  const int cameras = static_cast<int>(start.size());
  const double startClosure = rig::rotationAngleDeg(rig::chainRing(rig::rotationsOf(start)).closure);
  if (!(startClosure <= kMaxStartClosureDeg)) {
    return "the pairwise rotations do not close into a ring (" + std::to_string(startClosure) +
           " deg)";
  }
  for (int n = 0; n < cameras; ++n) {
    const double off = rig::directionErrorDeg(pairOfRing(ring, n).t, start[n].t);
    if (!(off <= kMaxDirectionChangeDeg)) {
      return "pair " + std::to_string(n) + "-" + std::to_string(rig::nextCamera(n, cameras)) +
             "'s pairwise direction lies " + std::to_string(off) +
             " deg from the ring's (its cameras are not neighbours on one ring)";
    }
  }
  return std::nullopt;
}

// The tracks over three cameras that start in each camera: they link pair n to pair n + 1.
std::vector<int> linkingTracks(const std::vector<Track>& tracks, int cameras) {
  std::vector<int> linking(cameras, 0);
  for (const Track& track : tracks) {
    if (track.seen.size() == 3) ++linking[track.seen.front().camera];
  }
  return linking;
}

// Why the tracks cannot hold the ring together, or nothing.
std::optional<std::string> refuseLinks(const std::vector<int>& linking) {
  const int cameras = static_cast<int>(linking.size());
  for (int n = 0; n < cameras; ++n) {
    if (linking[n] < kMinLinkingTracks) {
      return "too few tracks over cameras " + std::to_string(n) + ", " +
             std::to_string(rig::nextCamera(n, cameras)) + " and " +
             std::to_string(rig::nextCamera(rig::nextCamera(n, cameras), cameras)) + " (" +
             std::to_string(linking[n]) + " < " + std::to_string(kMinLinkingTracks) + ")";
    }
  }
  return std::nullopt;
}

// The solve's unknowns and its problems, which point into them: built in place, never moved.
struct RingSolve {
  RingParameters p;
  std::vector<cv::Vec3d> points;
  LensSteps lensSteps;
  ceres::Problem problem;  // the intrinsics held
  ceres::Problem refined;  // given the intrinsics' covariance: each camera's intrinsics freed
  std::vector<TrackBlocks> blocks;  // of the last problem solved
  bool holdsShape = false;          // no tracks over three cameras: the shape's prior
  std::vector<ShapeBlock> shapes;   // of the last problem solved
  std::optional<LensInformation> prior;
  double variance = 0.0;  // of the errors, from the first solve
};

// The unknowns' start: the ring's cameras, and each track's point where its first two rays
// meet (or far along the first where they do not).
void startSolve(const RingPoses& ring, const std::vector<Track>& tracks, RingSolve& solve) {
  RingParameters& p = solve.p;
  const int cameras = static_cast<int>(ring.size());
  // Sized once: the problems point into them.
  p.rotations.resize(cameras);
  p.centres.resize(cameras);
  solve.lensSteps.assign(cameras, LensStep::all(0.0));
  for (int n = 0; n < cameras; ++n) {
    p.rotations[n] = rotationVector(ring[n].R);
    p.centres[n] = ring[n].centre;
  }
  std::vector<cv::Vec3d>& points = solve.points;
  points.resize(tracks.size());
  for (std::size_t k = 0; k < tracks.size(); ++k) {
    const Observation& a = tracks[k].seen[0];
    const Observation& b = tracks[k].seen[1];
    if (!triangulate(ring[a.camera].centre, ring[a.camera].R.t() * a.ray, ring[b.camera].centre,
                     ring[b.camera].R.t() * b.ray, points[k])) {
      points[k] = ring[a.camera].centre + kFarDistance * (ring[a.camera].R.t() * a.ray);
    }
  }
}

// The solve, from the start in `solve`: the poses and points with the intrinsics held, then,
// given their covariance (`lenses`), with each camera's intrinsics freed. Returns why it
// failed, or nothing.
std::optional<std::string> solveRing(const std::vector<Track>& tracks, const UncertainLenses* lenses,
                                     rig::PoseFrame frame, RingSolve& solve) {
  RingParameters& p = solve.p;
  solve.blocks = observe(solve.problem, tracks, p, solve.points, nullptr, solve.lensSteps);
  if (solve.holdsShape) solve.shapes = holdShape(solve.problem, p);
  int observations = 0;
  for (const TrackBlocks& track : solve.blocks) observations += static_cast<int>(track.size());

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
  ceres::Solve(options, &solve.problem, &summary);
  if (!converged(summary)) return "the adjustment did not converge (" + summary.message + ")";
  // The errors' variance; each observation has two degrees of freedom (its error along the
  // ray is second order).
  const int freedom = 2 * observations - summary.num_effective_parameters;
  solve.variance = 2.0 * summary.final_cost / std::max(1, freedom);

  // Given the intrinsics' covariance, a second solve from there frees each camera's step from
  // its intrinsics too, the boards' covariance weighed against the observations' errors as
  // the covariance below counts them.
  if (lenses != nullptr) {
    std::vector<LensRays> rays;
    for (const UncertainLens& lens : *lenses) rays.emplace_back(lens, frame);
    solve.prior = lensInformation(*lenses, kCorrelatedErrors * kCorrelatedErrors * solve.variance);
    solve.blocks = observe(solve.refined, tracks, p, solve.points, &rays, solve.lensSteps);
    addLensPriors(solve.refined, *solve.prior, solve.lensSteps);
    if (solve.holdsShape) solve.shapes = holdShape(solve.refined, p);
    CamerasSettled settledAgain(p);
    options.callbacks = {&settledAgain};
    ceres::Solve(options, &solve.refined, &summary);
    if (!converged(summary)) return "the adjustment did not converge (" + summary.message + ")";
  }
  return std::nullopt;
}

// The covariance of cameras 1 ... N - 1, scaled by the errors' own variance, as each pair's
// sigma; nothing when a camera is left unconstrained.
std::optional<std::vector<PairSigma>> ringSigmas(const RingSolve& solve, bool lensesFreed) {
  cv::Mat C;
  if (!cameraCovariance(lensesFreed ? solve.refined : solve.problem, solve.blocks, solve.shapes, solve.p,
                        solve.prior ? &*solve.prior : nullptr, C)) {
    return std::nullopt;
  }
  return pairSigmas(solve.p, C * solve.variance);
}

// The acceptance: the adjusted pairs, unless one lies far from its pairwise pose.
RingAdjustment accept(const RingParameters& p, const std::vector<rig::PairPose>& start,
                      const std::vector<PairSigma>& sigmas, rig::PoseFrame frame) {
  const int cameras = p.cameras();
  RingPoses adjusted(cameras);
  for (int n = 0; n < cameras; ++n) {
    adjusted[n].R = rotationMatrix(p.rotations[n]);
    adjusted[n].centre = p.centres[n];
  }
  RingAdjustment result;
  result.pairs.resize(cameras);
  for (int n = 0; n < cameras; ++n) {
    const rig::PairPose pose = pairOfRing(adjusted, n);
    const double turned = rig::rotationErrorDeg(pose.R, start[n].R);
    const double moved = rig::directionErrorDeg(pose.t, start[n].t);
    if (!(turned <= kMaxRotationChangeDeg && moved <= kMaxDirectionChangeDeg)) {
      return failed("the adjusted pair " + std::to_string(n) + "-" +
                    std::to_string(rig::nextCamera(n, cameras)) + " lies far from its pairwise pose (" +
                    std::to_string(turned) + " deg, " + std::to_string(moved) + " deg)");
    }
    result.pairs[n] = {frame == rig::PoseFrame::kPrepared ? rig::toFileConvention(pose) : pose,
                       kCorrelatedErrors * sigmas[n].rotationDeg,
                       kCorrelatedErrors * sigmas[n].directionDeg};
  }
  result.adjusted = true;
  return result;
}

}  // namespace

RingAdjustment adjustRing(const RingInput& input, const UncertainLenses* lenses) {
  // The standard rig's poses are adjusted in its geometric prepared frames.
  std::vector<rig::PairPose> start;
  for (const PairInput& pair : input.pairs) {
    start.push_back(input.frame == rig::PoseFrame::kPrepared ? rig::fromFileConvention(pair.pose) : pair.pose);
  }
  const RingPoses ring = ringFromPairs(start, input.frame);
  if (const std::optional<std::string> refusal = refuseStart(start, ring)) return failed(*refusal);

  const std::vector<Track> tracks = ringTracks(input, kTracksPerPair);
  const std::vector<int> linking = linkingTracks(tracks, static_cast<int>(start.size()));
  // The standard rig's pairs always share cameras' fields; another layout's may not (a ring
  // of four), and then the shape's prior stands in for the links.
  const std::optional<std::string> unlinked = refuseLinks(linking);
  if (unlinked && input.frame == rig::PoseFrame::kPrepared) return failed(*unlinked);

  RingSolve solve;
  solve.holdsShape = unlinked.has_value();
  startSolve(ring, tracks, solve);
  if (const std::optional<std::string> refusal = solveRing(tracks, lenses, input.frame, solve)) {
    return failed(*refusal);
  }

  const std::optional<std::vector<PairSigma>> sigmas = ringSigmas(solve, lenses != nullptr);
  if (!sigmas) return failed("a camera is left unconstrained (the poses' covariance is singular)");

  RingAdjustment result = accept(solve.p, start, *sigmas, input.frame);
  if (!result.adjusted) return result;
  result.tracks = static_cast<int>(tracks.size());
  for (int count : linking) result.threeCameraTracks += count;
  return result;
}

}  // namespace ringcalib::adjust
