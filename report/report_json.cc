#include "report/report_json.h"

#include <cmath>

#include "report/panorama.h"
#include "rig/epipolar_consistency.h"

namespace ringcalib::report {

namespace {

using nlohmann::json;

// NaN and infinities have no JSON literal: they become null.
json number(double value) { return std::isfinite(value) ? json(value) : json(nullptr); }

template <int Rows, int Cols>
json matrix(const cv::Matx<double, Rows, Cols>& m) {
  json rows = json::array();
  for (int r = 0; r < Rows; ++r) {
    json row = json::array();
    for (int c = 0; c < Cols; ++c) row.push_back(number(m(r, c)));
    rows.push_back(row);
  }
  return rows;
}

template <int N>
json vector(const cv::Vec<double, N>& v) {
  json values = json::array();
  for (int i = 0; i < N; ++i) values.push_back(number(v[i]));
  return values;
}

json judgement(const Judgement& j) {
  return {{"verdict", verdictName(j.verdict)}, {"reasons", j.reasons}};
}

// A figure member only for a picture that was written.
void addFigure(json& figures, const char* key, const std::string& file) {
  if (!file.empty()) figures[key] = file;
}

json fieldJson(const FieldReport& field) {
  json bands = json::array();
  for (const AngleBand& band : field.bands) {
    bands.push_back({{"from_degrees", band.fromDeg},
                     {"to_degrees", band.toDeg},
                     {"corners", band.corners},
                     {"rms_px", number(band.rmsPx)}});
  }
  return {{"covered_degrees", number(field.coveredDeg)},
          {"needed_degrees", number(field.neededDeg)},
          {"edge_degrees", number(field.edgeDeg)},
          {"fold_degrees", number(field.foldDeg)},
          {"bands", bands}};
}

json intrinsicJson(const IntrinsicReport& intrinsic) {
  json views = json::array();
  for (double rms : intrinsic.viewRmsErrors) views.push_back(number(rms));
  json entry = {{"frames_read", intrinsic.framesRead},
                {"frames_sampled", intrinsic.framesSampled},
                {"frames_passing_cheap_test", intrinsic.framesPassingCheapTest},
                {"views_accepted", intrinsic.viewsAccepted},
                {"corners_kept", intrinsic.cornersKept},
                {"frame_size", {intrinsic.frameSize.width, intrinsic.frameSize.height}},
                {"solved", intrinsic.solved},
                {"rms_error", number(intrinsic.rmsError)},
                {"view_rms_errors", views}};
  if (intrinsic.field) entry["field"] = fieldJson(*intrinsic.field);
  return entry;
}

json cameraJson(const CameraReport& camera, const Judgement& verdict,
                const CameraFigures& files) {
  json entry = {{"camera", camera.camera}};
  if (camera.intrinsic) entry["intrinsic"] = intrinsicJson(*camera.intrinsic);
  if (camera.hasIntrinsics) {
    entry["K"] = matrix(camera.K);
    entry["D"] = vector(camera.D);
  }
  json figures = json::object();
  addFigure(figures, "coverage", files.coverage);
  addFigure(figures, "field", files.field);
  addFigure(figures, "preview", files.preview);
  entry["figures"] = figures;
  entry.update(judgement(verdict));
  return entry;
}

// The pair in its epipolar frame: the rectified picture and the vertical disparity.
json rectifiedJson(const std::optional<DepthReadiness>& depth, const std::string& file) {
  json entry = json::object();
  if (!file.empty()) entry["file"] = file;
  if (depth) {
    entry["vertical_disparity_degrees"] = {{"median", number(depth->medianDeg)},
                                           {"p95", number(depth->p95Deg)}};
    entry["verdict"] = verdictName(depth->judgement.verdict);
  }
  return entry;
}

json pairJson(const PairReport& pair, const Judgement& verdict, const PairFigures& files,
              const std::optional<DepthReadiness>& depth, const std::optional<rig::RingClosure>& ring) {
  json entry = {{"pair", pair.pair},
                {"cameras", {pair.first, pair.second}},
                {"correspondences", pair.correspondences},
                {"consistent_with_F", pair.consistentWithF >= 0 ? json(pair.consistentWithF)
                                                                  : json(nullptr)},
                {"solved", pair.solved}};
  if (pair.solved) {
    entry["median_error"] = number(pair.medianError);
    entry["R_degrees"] = vector(pair.anglesDeg);
    entry["R"] = matrix(pair.R);
    entry["t"] = vector(pair.t);
  }
  if (depth || !files.rectified.empty()) entry["rectified"] = rectifiedJson(depth, files.rectified);
  if (pair.adjusted) {
    entry["adjusted"] = {{"R", matrix(pair.adjusted->R)},
                         {"t", vector(pair.adjusted->t)},
                         {"sigma_rotation_degrees", number(pair.adjusted->sigmaRotationDeg)},
                         {"sigma_direction_degrees", number(pair.adjusted->sigmaDirectionDeg)}};
  }
  if (ring && pair.pair >= 0 && pair.pair < static_cast<int>(ring->explained.size())) {
    entry["closure_explained"] = number(ring->explained[pair.pair]);
  }
  if (pair.check) {
    const PairCheck& check = *pair.check;
    entry["check"] = {{"verdict", check.moved ? "moved" : "holds"},
                      {"rotation_degrees", number(check.rotationDeg)},
                      {"direction_degrees", number(check.directionDeg)},
                      {"stored_error_px", number(check.storedErrorPx)},
                      {"fresh_error_px", number(check.freshErrorPx)},
                      {"moved_error_ratio", check.movedErrorRatio},
                      {"moved_rotation_floor_degrees", check.movedRotationFloorDeg}};
  }
  json figures = json::object();
  addFigure(figures, "matches", files.matches);
  addFigure(figures, "errors", files.errors);
  entry["figures"] = figures;
  entry.update(judgement(verdict));
  return entry;
}

json ringJson(const CalibrationReport& report, const Assessment& assessment) {
  json entry = judgement(assessment.ringJudgement);
  if (report.adjustedClosureDeg) entry["adjusted_closure_degrees"] = number(*report.adjustedClosureDeg);
  if (!assessment.ring) return entry;
  const rig::RingClosure& ring = *assessment.ring;
  entry["closure_degrees"] = number(ring.closureDeg);
  entry["suspect_pair"] = ring.broken() ? json(ring.suspect) : json(nullptr);
  return entry;
}

json thresholdsJson() {
  return {{"camera_rms_good_px", kCameraRmsGoodPx},
          {"camera_rms_check_px", kCameraRmsCheckPx},
          {"sampson_limit_px", rig::kSampsonLimitPx},
          {"consistent_share_good", kConsistentShareGood},
          {"consistent_share_check", kConsistentShareCheck},
          {"pair_median_good_px", kPairMedianGoodPx},
          {"pair_median_check_px", kPairMedianCheckPx},
          {"closure_good_degrees", kClosureGoodDeg},
          {"closure_check_degrees", rig::kClosureLimitDeg},
          {"vertical_disparity_good_degrees", kVerticalDisparityGoodDeg},
          {"vertical_disparity_check_degrees", kVerticalDisparityCheckDeg}};
}

}  // namespace

nlohmann::json reportToJson(const CalibrationReport& report, const Assessment& assessment,
                            const FigureFiles& figures) {
  json jobs = json::array();
  for (const JobOutcome& job : report.jobs) jobs.push_back({{"job", jobName(job.job)}, {"code", job.code}});
  json cameras = json::array();
  for (std::size_t i = 0; i < report.cameras.size(); ++i) {
    cameras.push_back(cameraJson(report.cameras[i], assessment.cameras[i], figures.cameras[i]));
  }
  json pairs = json::array();
  for (std::size_t i = 0; i < report.pairs.size(); ++i) {
    pairs.push_back(pairJson(report.pairs[i], assessment.pairs[i], figures.pairs[i],
                             assessment.depth[i], assessment.ring));
  }
  json document = {{"jobs", jobs},
          {"cameras", cameras},
          {"pairs", pairs},
          {"ring", ringJson(report, assessment)},
          {"thresholds", thresholdsJson()}};
  if (!figures.panorama.file.empty()) {
    document["panorama"] = {
        {"file", figures.panorama.file}, {"width", rig::kPanoramaWidth}, {"height", rig::kPanoramaHeight}};
  }
  return document;
}

}  // namespace ringcalib::report
