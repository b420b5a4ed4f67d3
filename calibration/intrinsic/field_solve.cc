// A camera's fisheye solve, held to the edge of the field its frames show.
//
// The accepted views cut to the central circle come first: on the generated 3200 x 2400 rigs
// their model holds to the edge and their corners reach as far off the axis as the stills are
// used, and the job stands by it as it always did. A lens whose central circle falls short
// (a long lens on a small frame) or whose model folds inside the frame (0.4 x the width is 63
// degrees off the axis of a 185-degree lens at 1920 x 1208, and four terms fitted there turn
// at 83) is solved again from every corner of every board the search found, as OpenCV's
// fisheye solver is fed: near the rim the boards are blurred and curved and fail the
// detection's contrast and straightness tests, and they are the corners that hold the model
// there. That solve starts from the central circle's camera matrix: from the library's own
// start the far boards of a long lens lie beyond 90 degrees off the axis and their views are
// left out as ill-conditioned. Where four distortion terms fitted to them still fold before
// the edge, k4 and then k3 are held at 0 (measured on real lenses: held-out error as low as
// with four terms, and no fold). A model that still folds, or whose corners fall short, is
// refused.
#include "calibration/intrinsic/field_solve.h"

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "calibration/intrinsic/board_detection.h"
#include "calibration/intrinsic/corner_selection.h"
#include "calibration/intrinsic/fisheye_solve.h"
#include "core/number_format.h"
#include "core/result_code.h"
#include "report/field_coverage.h"
#include "rig/lens_field.h"

namespace ringcalib::intrinsic {
namespace {

using Views = std::vector<std::vector<cv::Point2f>>;
using Objects = std::vector<std::vector<cv::Point3f>>;

// The distortion terms of the solves from every corner, in turn.
constexpr DistortionTerms kTermLadder[] = {DistortionTerms::kFour, DistortionTerms::kThree,
                                           DistortionTerms::kTwo};

// How far one solved model holds.
struct FieldCheck {
  rig::LensField field;
  double coveredDeg = 0.0;

  bool sound() const { return !field.folds() && coveredDeg >= field.neededDeg; }
};

// The field of a solved model, and how far the corners of the views it kept reach under it.
FieldCheck checkField(const FisheyeSolution& lens, cv::Size imageSize, const Views& views) {
  const rig::FisheyeCamera camera{lens.K, lens.D, imageSize};
  Views kept;
  for (const std::size_t view : lens.views) kept.push_back(views[view]);
  FieldCheck check;
  check.field = rig::lensField(camera);
  check.coveredDeg = rig::reachDeg(rig::FisheyeLens(camera), kept);
  return check;
}

std::string degrees(double angle) { return formatNumber("%.1f", angle); }

// Why a model falls short, naming the camera and how far `whose` corners reach.
std::string shortfall(int camera, const char* whose, const FieldCheck& check) {
  std::string why = "camera " + std::to_string(camera) + ": " + whose + " reach " + degrees(check.coveredDeg) +
                    " degrees off the axis, " + degrees(check.field.neededDeg) + " needed";
  if (check.field.folds()) {
    why += "; their model folds back at " + degrees(check.field.foldDeg) +
           " degrees, inside the field the frame shows";
  }
  return why;
}

CameraSolve solveViews(int camera, const Views& views, const Objects& objects, const FisheyeFit& fit,
                       cv::Size imageSize, const std::ostream& format, bool reporting) {
  CameraSolve solve;
  for (const auto& view : views) solve.cornersKept += static_cast<int>(view.size());
  std::ostringstream out;
  out.copyfmt(format);
  solve.record.camera = camera;
  Result<FisheyeSolution> solved =
      solveFisheye(views, objects, camera, imageSize, out, reporting ? &solve.record : nullptr, fit);
  solve.code = solved.code();
  if (solved.ok()) solve.solution = std::move(solved.value());
  solve.output = out.str();
  return solve;
}

// The solve from every corner of every board found, from `start` (the central circle's camera
// matrix, when there is one), the distortion terms down the ladder while the model folds.
// `why` is the line that says why the job solves them.
CameraSolve solveEveryCorner(int camera, const Views& every, const std::vector<cv::Point3f>& model,
                             const std::optional<cv::Matx33d>& start, cv::Size imageSize,
                             const std::ostream& format, bool reporting, const std::string& why) {
  const Objects objects(every.size(), model);
  CameraSolve solve;
  FieldCheck check;
  for (const DistortionTerms terms : kTermLadder) {
    solve = solveViews(camera, every, objects, {terms, start}, imageSize, format, reporting);
    if (solve.code != kSuccess) break;
    check = checkField(*solve.solution, imageSize, every);
    // Fewer terms cannot reach farther: only a fold is worth another solve.
    if (check.sound() || !check.field.folds()) break;
  }
  solve.output = why + solve.output;
  if (solve.code != kSuccess) return solve;
  if (solve.record.intrinsic) {
    report::recordField(*solve.record.intrinsic, {solve.solution->K, solve.solution->D, imageSize},
                        check.field, check.coveredDeg);
  }
  if (check.sound()) return solve;
  solve.code = kTooFewViews;
  solve.solution.reset();
  solve.output += shortfall(camera, "the boards", check) + ": nothing is written; record boards nearer the frame's edge\n";
  return solve;
}

}  // namespace

CameraSolve solveCamera(int camera, CameraViews views, cv::Size imageSize, cv::Size board,
                        const std::ostream& format, bool reporting, const std::optional<cv::Matx33d>& start) {
  const std::vector<cv::Point3f> model = boardModel(board);
  Views central = views.accepted;
  Objects objects(central.size(), model);
  // The central circle of the camera's own frames (of 3200 x 2400: centre (1600, 1200),
  // radius 1280).
  selectCorners(central, objects, imageSize.width, imageSize.height);

  std::string why;
  std::optional<cv::Matx33d> centralK;
  if (central.size() >= static_cast<std::size_t>(kMinViews)) {
    CameraSolve solve =
        solveViews(camera, central, objects, {DistortionTerms::kFour, start}, imageSize, format, reporting);
    if (solve.code != kSuccess) return solve;
    const FieldCheck check = checkField(*solve.solution, imageSize, central);
    if (check.sound()) return solve;
    why = shortfall(camera, "the central corners", check) + ": solved again from every corner of every board\n";
    centralK = solve.solution->K;
  }

  Views every = std::move(views.accepted);
  every.insert(every.end(), views.rejected.begin(), views.rejected.end());
  if (every.size() < static_cast<std::size_t>(kMinViews)) {
    CameraSolve solve;
    for (const auto& view : central) solve.cornersKept += static_cast<int>(view.size());
    solve.tooFewViews = true;
    return solve;
  }
  if (why.empty()) {
    why = "camera " + std::to_string(camera) + ": " + std::to_string(central.size()) + " of " +
          std::to_string(every.size()) +
          " boards found pass the contrast and straightness tests: solved from every corner of every board\n";
  }
  return solveEveryCorner(camera, every, model, centralK ? centralK : start, imageSize, format, reporting, why);
}

}  // namespace ringcalib::intrinsic
