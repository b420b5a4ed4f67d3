#include "report/report_page.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include <kainjow/mustache.hpp>

#include "core/number_format.h"
#include "report/panorama.h"
#include "report/rectified_pair.h"
#include "report/report_page_template.h"
#include "rig/epipolar_consistency.h"
#include "rig/pair_pose.h"

namespace ringcalib::report {

namespace {

using kainjow::mustache::data;
using kainjow::mustache::list;

constexpr char kStyle[] =
    "body{font-family:sans-serif;margin:24px;color:#222;max-width:1400px}"
    "table{border-collapse:collapse;margin:8px 0 16px}"
    "th,td{border:1px solid #bbb;padding:3px 8px;text-align:right;font-size:14px}"
    "th{background:#eee}td.text{text-align:left}"
    ".good{background:#c8efc8}.check{background:#fbeaa0}.poor{background:#f6b8b0}"
    ".failed{background:#d88;color:#fff}"
    "figure{display:inline-block;margin:0 16px 16px 0;vertical-align:top}"
    "figure img{max-width:100%;border:1px solid #999}"
    "figcaption{font-size:13px;max-width:640px}"
    "code{background:#f3f3f3}"
    ".pano{position:relative;max-width:100%}.pano img{width:100%;display:block}"
    ".pano svg{position:absolute;left:0;top:0;width:100%;height:100%;display:none}"
    "#outlines:checked~.pano svg{display:block}";

// One colour per camera for the panorama's outlines, for rings of up to eight.
constexpr const char* kCameraColours[] = {"#e6194b", "#3cb44b", "#ffe119", "#4363d8",
                                          "#f58231", "#42d4f4", "#911eb4", "#f032e6"};

// The columns of the tables, in groups where a row can lack the whole group.
const std::vector<std::string> kSolveColumns = {
    "frames read",    "sampled",      "cheap test passed",  "views accepted",
    "corners kept",   "RMS error (px)", "worst view RMS (px)"};
const std::vector<std::string> kLensColumns = {"fx", "fy", "cx", "cy", "k1", "k2", "k3", "k4"};
const std::vector<std::string> kPoseColumns = {"median error (px)", "R x (deg)", "R y (deg)",
                                               "R z (deg)", "t"};

std::string fixed(double value, int decimals) {
  if (!std::isfinite(value)) return "n/a";
  return formatNumber("%.*f", decimals, value);
}

// Distortion coefficients span orders of magnitude: six significant digits.
std::string significant(double value) {
  if (!std::isfinite(value)) return "n/a";
  return formatNumber("%.6g", value);
}

// The header of a table: its groups of columns in order.
list columns(std::initializer_list<std::vector<std::string>> groups) {
  list items;
  for (const std::vector<std::string>& group : groups) {
    for (const std::string& column : group) items.push_back(column);
  }
  return items;
}

// Reasons after a first separator, the rest after a second.
list reasons(const std::vector<std::string>& texts, const char* first, const char* rest) {
  list items;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    data item;
    item.set("separator", i == 0 ? first : rest);
    item.set("text", texts[i]);
    items.push_back(item);
  }
  return items;
}

data cell(const std::string& text) {
  data item;
  item.set("text", text);
  return item;
}

// A cell of markup of the page's own.
data markupCell(const std::string& html) {
  data item;
  item.set("html", html);
  return item;
}

data classedCell(const std::string& cssClass, const std::string& text) {
  data item = cell(text);
  item.set("class", cssClass);
  return item;
}

// One cell for a whole group of columns that a row has nothing for.
data spanCell(const std::vector<std::string>& group, const std::string& text) {
  data item = classedCell("text", text);
  item.set("span", std::to_string(group.size()));
  return item;
}

data verdictCell(const Judgement& judgement) {
  const std::string name = verdictName(judgement.verdict);
  data item;
  item.set("class", "text " + name);
  item.set("verdict", name);
  item.set("reasons", reasons(judgement.reasons, ": ", "; "));
  return item;
}

data table(list header, list rows) {
  data view;
  view.set("columns", std::move(header));
  view.set("rows", std::move(rows));
  return view;
}

data row(list cells) {
  data view;
  view.set("cells", std::move(cells));
  return view;
}

// The worst verdict of the run and what caused it.
data overallView(const CalibrationReport& report, const Assessment& assessment) {
  Judgement overall;
  const auto take = [&overall](const Judgement& judgement, const std::string& what) {
    if (judgement.verdict > overall.verdict) {
      overall.verdict = judgement.verdict;
      overall.reasons.clear();
    }
    if (judgement.verdict == overall.verdict && judgement.verdict != Verdict::kGood) {
      overall.reasons.push_back(what);
    }
  };
  for (std::size_t i = 0; i < report.cameras.size(); ++i) {
    take(assessment.cameras[i], "camera " + std::to_string(report.cameras[i].camera));
  }
  for (std::size_t i = 0; i < report.pairs.size(); ++i) {
    take(assessment.pairs[i], "pair " + std::to_string(report.pairs[i].pair));
    if (assessment.depth[i]) {
      take(assessment.depth[i]->judgement, "pair " + std::to_string(report.pairs[i].pair) + " rows");
    }
  }
  if (!report.pairs.empty()) take(assessment.ringJudgement, "ring closure");
  for (const JobOutcome& job : report.jobs) {
    if (job.code != 0) {
      take({Verdict::kFailed, {}}, std::string(jobName(job.job)) + " job (code " + std::to_string(job.code) + ")");
    }
  }
  data view;
  view.set("verdict", verdictName(overall.verdict));
  view.set("reasons", reasons(overall.reasons, " &mdash; ", ", "));
  return view;
}

// Where the panorama's horizon lies (rig::panoramaFrame): the standard rig's cameras look
// level, so their axes span it; other rings may look up or down.
const char* horizonText(rig::PoseFrame frame) {
  return frame == rig::PoseFrame::kPrepared
             ? "the plane of the cameras' axes"
             : "the ring's plane, square to the axis about which each camera is turned from the one before";
}

data panoramaView(const CalibrationReport& report, const PanoramaFigure& panorama) {
  data view;
  view.set("file", panorama.file);
  view.set("cameraCount", rig::spelledCount(report.ringCameras));
  view.set("horizon", horizonText(report.poseFrame));
  view.set("outlineShare", fixed(100 * kOutlineShare, 0));
  view.set("width", std::to_string(rig::kPanoramaWidth));
  view.set("height", std::to_string(rig::kPanoramaHeight));
  list cameras;
  for (std::size_t n = 0; n < panorama.outlines.size(); ++n) {
    list outlines;
    for (const std::vector<cv::Point>& outline : panorama.outlines[n]) {
      std::string points;
      for (const cv::Point& point : outline) {
        points += std::to_string(point.x) + "," + std::to_string(point.y) + " ";
      }
      outlines.push_back(data("points", points));
    }
    data camera;
    camera.set("camera", std::to_string(n));
    camera.set("colour", kCameraColours[n % std::size(kCameraColours)]);
    camera.set("outlines", outlines);
    camera.set("x", fixed(panorama.axes[n].x, 0));
    camera.set("y", fixed(panorama.axes[n].y, 0));
    cameras.push_back(camera);
  }
  view.set("cameras", cameras);
  return view;
}

list jobsView(const CalibrationReport& report) {
  list jobs;
  for (const JobOutcome& job : report.jobs) {
    data view;
    view.set("name", jobName(job.job));
    view.set("verdict", job.code == 0 ? "good" : "failed");
    view.set("code", std::to_string(job.code));
    view.set("outcome", job.code == 0 ? "success" : "failed");
    jobs.push_back(view);
  }
  return jobs;
}

data cameraTable(const CalibrationReport& report, const Assessment& assessment) {
  list rows;
  for (std::size_t i = 0; i < report.cameras.size(); ++i) {
    const CameraReport& camera = report.cameras[i];
    list cells{cell(std::to_string(camera.camera))};
    if (camera.intrinsic) {
      const IntrinsicReport& in = *camera.intrinsic;
      double worst = kNotMeasured;
      for (double rms : in.viewRmsErrors) {
        if (std::isfinite(rms) && !(rms <= worst)) worst = rms;
      }
      for (const std::string& value :
           {std::to_string(in.framesRead), std::to_string(in.framesSampled),
            std::to_string(in.framesPassingCheapTest), std::to_string(in.viewsAccepted),
            std::to_string(in.cornersKept), fixed(in.rmsError, 3), fixed(worst, 3)}) {
        cells.push_back(cell(value));
      }
    } else {
      cells.push_back(spanCell(kSolveColumns, "intrinsic parameters read from the file"));
    }
    if (camera.hasIntrinsics) {
      for (const double value : {camera.K(0, 0), camera.K(1, 1), camera.K(0, 2), camera.K(1, 2)}) {
        cells.push_back(cell(fixed(value, 2)));
      }
      for (int k = 0; k < 4; ++k) cells.push_back(cell(significant(camera.D[k])));
    } else {
      cells.push_back(spanCell(kLensColumns, "n/a"));
    }
    cells.push_back(verdictCell(assessment.cameras[i]));
    rows.push_back(row(cells));
  }
  return table(columns({{"camera"}, kSolveColumns, kLensColumns, {"verdict"}}), rows);
}

data pairTable(const CalibrationReport& report, const Assessment& assessment) {
  list rows;
  for (std::size_t i = 0; i < report.pairs.size(); ++i) {
    const PairReport& pair = report.pairs[i];
    std::string consistent = "n/a";
    if (pair.consistentWithF >= 0 && pair.correspondences > 0) {
      consistent = std::to_string(pair.consistentWithF) + " (" +
                   fixed(100.0 * pair.consistentWithF / pair.correspondences, 1) + " %)";
    }
    list cells{cell(std::to_string(pair.pair)),
               markupCell(std::to_string(pair.first) + " &rarr; " + std::to_string(pair.second)),
               cell(std::to_string(pair.correspondences)), cell(consistent)};
    if (pair.solved) {
      for (const std::string& value :
           {fixed(pair.medianError, 3), fixed(pair.anglesDeg[0], 4), fixed(pair.anglesDeg[1], 4),
            fixed(pair.anglesDeg[2], 4),
            "(" + fixed(pair.t[0], 4) + ", " + fixed(pair.t[1], 4) + ", " + fixed(pair.t[2], 4) + ")"}) {
        cells.push_back(cell(value));
      }
    } else {
      cells.push_back(spanCell(kPoseColumns, "no pose"));
    }
    const bool inRing =
        assessment.ring && pair.pair >= 0 && pair.pair < static_cast<int>(assessment.ring->explained.size());
    // The shares mean something only when there is a closure error to explain.
    const bool explains = inRing && assessment.ring->broken();
    cells.push_back(cell(explains ? fixed(100.0 * assessment.ring->explained[pair.pair], 0) + " %" : "n/a"));
    cells.push_back(verdictCell(assessment.pairs[i]));
    if (const std::optional<DepthReadiness>& depth = assessment.depth[i]) {
      cells.push_back(cell(fixed(depth->medianDeg, 3) + " / " + fixed(depth->p95Deg, 3)));
      cells.push_back(verdictCell(depth->judgement));
    } else {
      cells.push_back(cell("n/a"));
      cells.push_back(cell("n/a"));
    }
    rows.push_back(row(cells));
  }
  return table(columns({{"pair", "cameras", "correspondences", "consistent with F"}, kPoseColumns,
                        {"share of the closure explained", "verdict",
                         "vertical disparity median / p95 (deg)", "depth readiness"}}),
               rows);
}

// Only in a check of a stored calibration: each pair's verdict and figures.
std::optional<data> checkTable(const CalibrationReport& report) {
  const PairCheck* rule = nullptr;  // every pair is judged by the same rule
  list rows;
  for (const PairReport& pair : report.pairs) {
    if (!pair.check) continue;
    const PairCheck& check = *pair.check;
    if (rule == nullptr) rule = &check;
    rows.push_back(row({cell(std::to_string(pair.first) + "-" + std::to_string(pair.second)),
                        check.moved ? classedCell("poor", "moved") : classedCell("good", "holds"),
                        cell(fixed(check.rotationDeg, 3)), cell(fixed(check.directionDeg, 3)),
                        cell(fixed(check.storedErrorPx, 3)), cell(fixed(check.freshErrorPx, 3))}));
  }
  if (rule == nullptr) return std::nullopt;
  data view = table(columns({{"pair", "verdict", "rotation change (deg)", "direction change (deg)",
                              "median error, stored pose (px)", "median error, fresh pose (px)"}}),
                    rows);
  view.set("movedErrorRatio", fixed(rule->movedErrorRatio, 1));
  view.set("movedRotationFloorDeg", fixed(rule->movedRotationFloorDeg, 2));
  return view;
}

// R_{N-1} ... R_1 R_0 in the page's markup.
std::string ringProduct(int cameras) {
  std::string product;
  for (int n = cameras - 1; n >= 0; --n) product += "R<sub>" + std::to_string(n) + "</sub>";
  return product;
}

data ringTable(const CalibrationReport& report, const Assessment& assessment) {
  const std::optional<rig::RingClosure>& ring = assessment.ring;
  list cells{cell(ring ? fixed(ring->closureDeg, 4) : "n/a"),
             cell(!ring ? "n/a" : ring->broken() ? std::to_string(ring->suspect) : "none"),
             verdictCell(assessment.ringJudgement)};
  data view = table(columns({{"closure (deg)", "pair that breaks the ring", "verdict"}}), list{row(cells)});
  view.set("closureLimitDeg", fixed(rig::kClosureLimitDeg, 2));
  view.set("ringProduct", ringProduct(report.ringCameras));
  view.set("ringCameras", rig::spelledCount(report.ringCameras));
  view.set("otherPairs", rig::spelledCount(report.ringCameras - 1));
  return view;
}

// Only with --ring-adjust: each pair's pairwise and adjusted pose side by side, and the ring's
// closure before and after.
std::optional<data> adjustmentTable(const CalibrationReport& report, const Assessment& assessment) {
  if (!report.adjustedClosureDeg) return std::nullopt;
  const auto triple = [](const cv::Vec3d& v, int decimals) {
    return fixed(v[0], decimals) + " " + fixed(v[1], decimals) + " " + fixed(v[2], decimals);
  };
  list rows;
  for (const PairReport& pair : report.pairs) {
    if (!pair.adjusted) continue;
    const AdjustedPairReport& adjusted = *pair.adjusted;
    rows.push_back(row({cell(std::to_string(pair.first) + "-" + std::to_string(pair.second)),
                        cell(triple(pair.anglesDeg, 4)), cell(triple(adjusted.anglesDeg, 4)),
                        cell(triple(pair.t, 5)), cell(triple(adjusted.t, 5)),
                        cell(fixed(rig::rotationErrorDeg(adjusted.R, pair.R), 4)),
                        cell(fixed(rig::directionErrorDeg(adjusted.t, pair.t), 3)),
                        cell(fixed(adjusted.sigmaRotationDeg, 4)),
                        cell(fixed(adjusted.sigmaDirectionDeg, 3))}));
  }
  data view = table(columns({{"pair", "R pairwise (deg)", "R adjusted (deg)", "t pairwise",
                              "t adjusted", "rotation change (deg)", "direction change (deg)",
                              "1-&sigma; rotation (deg)", "1-&sigma; direction (deg)"}}),
                    rows);
  view.set("pairwiseClosureDeg", assessment.ring ? fixed(assessment.ring->closureDeg, 4) : "n/a");
  view.set("adjustedClosureDeg", fixed(*report.adjustedClosureDeg, 6));
  return view;
}

data limitsView(const CalibrationReport& report) {
  data view;
  // Only a camera the job solved past its central circle is judged by its field.
  view.set("fieldLimit", std::any_of(report.cameras.begin(), report.cameras.end(), [](const CameraReport& camera) {
             return camera.intrinsic && camera.intrinsic->field;
           }));
  view.set("cameraRmsGoodPx", fixed(kCameraRmsGoodPx, 2));
  view.set("cameraRmsCheckPx", fixed(kCameraRmsCheckPx, 2));
  view.set("sampsonLimitPx", fixed(rig::kSampsonLimitPx, 1));
  view.set("consistentShareGood", fixed(100 * kConsistentShareGood, 0));
  view.set("consistentShareCheck", fixed(100 * kConsistentShareCheck, 0));
  view.set("pairMedianGoodPx", fixed(kPairMedianGoodPx, 2));
  view.set("pairMedianCheckPx", fixed(kPairMedianCheckPx, 2));
  view.set("closureGoodDeg", fixed(kClosureGoodDeg, 2));
  view.set("closureLimitDeg", fixed(rig::kClosureLimitDeg, 2));
  view.set("disparityGoodDeg", fixed(kVerticalDisparityGoodDeg, 2));
  view.set("disparityCheckDeg", fixed(kVerticalDisparityCheckDeg, 2));
  return view;
}

// The pictures that were written, each with its caption.
list figureList(std::initializer_list<std::pair<std::string, std::string>> figures) {
  list items;
  for (const auto& [file, caption] : figures) {
    if (file.empty()) continue;
    data item;
    item.set("file", file);
    item.set("caption", caption);
    items.push_back(item);
  }
  return items;
}

// The field picture's caption: the angles reached and needed, and the residual per band.
std::string fieldCaption(const std::string& name, const CameraReport& camera) {
  if (!camera.intrinsic || !camera.intrinsic->field) return "";
  const FieldReport& field = *camera.intrinsic->field;
  std::string caption = name + ": the solve's corners over the frame, with rings every 15 degrees off the axis under "
                        "its model, the angle the stills need (" + fixed(field.neededDeg, 1) +
                        " deg) and in each direction an arc at the farthest corner (farthest of all " +
                        fixed(field.coveredDeg, 1) + " deg)";
  if (field.folds()) caption += "; the model folds back at " + fixed(field.foldDeg, 1) + " deg";
  caption += ". RMS reprojection error per band:";
  for (const AngleBand& band : field.bands) {
    if (band.corners == 0) continue;
    caption += " " + fixed(band.fromDeg, 0) + "-" + fixed(band.toDeg, 0) + " deg " + fixed(band.rmsPx, 3) +
               " px (" + std::to_string(band.corners) + ")";
  }
  return caption;
}

void addFigures(data& page, const CalibrationReport& report, const FigureFiles& figures) {
  list cameras;
  for (std::size_t i = 0; i < report.cameras.size(); ++i) {
    const std::string name = "Camera " + std::to_string(report.cameras[i].camera);
    const CameraFigures& files = figures.cameras[i];
    list shown = figureList(
        {{files.coverage, name + ": the accepted corners over the frame, coloured by their reprojection error"},
         {files.field, fieldCaption(name, report.cameras[i])},
         {files.preview, name + (report.poseFrame == rig::PoseFrame::kPrepared
                                     ? ": the undistorted view after the quarter turn"
                                     : ": the undistorted view, turned so that the ring's up is up")}});
    if (shown.empty()) continue;
    data camera;
    camera.set("camera", std::to_string(report.cameras[i].camera));
    camera.set("figures", shown);
    cameras.push_back(camera);
  }
  list pairs;
  for (std::size_t i = 0; i < report.pairs.size(); ++i) {
    const PairReport& pair = report.pairs[i];
    const PairFigures& files = figures.pairs[i];
    const std::string name = "Pair " + std::to_string(pair.pair) + " (cameras " +
                             std::to_string(pair.first) + " and " + std::to_string(pair.second) + ")";
    list shown = figureList(
        {{files.matches, name + ": the two warped strips the flow ran on, with a sample of correspondences"},
         {files.errors, name + ": histogram of the refinement's final reprojection errors"},
         {files.rectified,
          name + ": both stills in the pair's epipolar frame (rows are planes through the baseline, " +
              std::to_string(kRectifiedPixelsPerDegree) + " px per degree, guide lines every " +
              fixed(kGuideStepDeg, 0) + " degrees): a scene point lies on the same row in both views"}});
    if (shown.empty()) continue;
    data view;
    view.set("name", name);
    view.set("figures", shown);
    pairs.push_back(view);
  }
  page.set("cameraFiguresShown", !cameras.empty());
  page.set("cameraFigures", cameras);
  page.set("pairFiguresShown", !pairs.empty());
  page.set("pairFigures", pairs);
}

}  // namespace

std::string escapeHtml(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::string renderPage(const CalibrationReport& report, const Assessment& assessment,
                       const FigureFiles& figures) {
  data page;
  page.set("style", kStyle);
  page.set("overall", overallView(report, assessment));
  if (!figures.panorama.file.empty()) page.set("panorama", panoramaView(report, figures.panorama));
  page.set("jobs", jobsView(report));
  if (!report.cameras.empty()) page.set("cameraTable", cameraTable(report, assessment));
  if (!report.pairs.empty()) {
    if (std::optional<data> check = checkTable(report)) page.set("checkTable", *check);
    page.set("pairTable", pairTable(report, assessment));
    page.set("ringTable", ringTable(report, assessment));
    if (std::optional<data> adjustment = adjustmentTable(report, assessment)) {
      page.set("adjustmentTable", *adjustment);
    }
  }
  page.set("limits", limitsView(report));
  addFigures(page, report, figures);
  page.set("jsonFile", kJsonFile);
  page.set("table", kainjow::mustache::partial([] { return std::string(kTableTemplate); }));
  page.set("cell", kainjow::mustache::partial([] { return std::string(kCellTemplate); }));
  page.set("figure", kainjow::mustache::partial([] { return std::string(kFigureTemplate); }));
  kainjow::mustache::mustache renderer{kPageTemplate};
  renderer.set_custom_escape(escapeHtml);
  return renderer.render(page);
}

}  // namespace ringcalib::report
