#include "report/report_page.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <sstream>
#include <utility>

#include "core/number_format.h"
#include "report/panorama.h"
#include "rig/epipolar_consistency.h"
#include "rig/pair_pose.h"

namespace ringcalib::report {

namespace {

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

// One colour per camera for the panorama's outlines.
constexpr const char* kCameraColours[rig::kCameras] = {"#e6194b", "#3cb44b", "#ffe119",
                                                        "#4363d8", "#f58231", "#42d4f4"};

std::string fixed(double value, int decimals) {
  if (!std::isfinite(value)) return "n/a";
  return formatNumber("%.*f", decimals, value);
}

// Distortion coefficients span orders of magnitude: six significant digits.
std::string significant(double value) {
  if (!std::isfinite(value)) return "n/a";
  return formatNumber("%.6g", value);
}

std::string verdictCell(const Judgement& judgement) {
  const std::string name = verdictName(judgement.verdict);
  std::string reasons;
  for (const std::string& reason : judgement.reasons) {
    reasons += (reasons.empty() ? ": " : "; ") + escapeHtml(reason);
  }
  return "<td class=\"text " + name + "\"><b>" + name + "</b>" + reasons + "</td>";
}

std::string cell(const std::string& text) { return "<td>" + text + "</td>"; }

std::string figure(const std::string& file, const std::string& caption) {
  if (file.empty()) return "";
  return "<figure><img src=\"" + escapeHtml(file) + "\" alt=\"" + escapeHtml(caption) +
         "\"><figcaption>" + escapeHtml(caption) + "</figcaption></figure>\n";
}

// One line on top: the worst verdict of the run and what caused it.
void writeSummary(std::ostream& page, const CalibrationReport& report,
                  const Assessment& assessment) {
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
    if (job.code != 0) take({Verdict::kFailed, {}}, std::string(jobName(job.job)) + " job (code " + std::to_string(job.code) + ")");
  }
  const std::string name = verdictName(overall.verdict);
  page << "<p class=\"" << name << "\" style=\"padding:6px 10px\">Overall: <b>" << name << "</b>";
  for (std::size_t i = 0; i < overall.reasons.size(); ++i) {
    page << (i == 0 ? " &mdash; " : ", ") << escapeHtml(overall.reasons[i]);
  }
  page << "</p>\n";
}

// The panorama with a switch (a checkbox, no script) that lays each camera's outline over it.
void writePanorama(std::ostream& page, const PanoramaFigure& panorama) {
  if (panorama.file.empty()) return;
  page << "<h2>Panorama</h2>\n<input type=\"checkbox\" id=\"outlines\"><label for=\"outlines\"> "
          "outline where each camera contributes (at least "
       << fixed(100 * kOutlineShare, 0) << " % of the blend)</label>\n<div class=\"pano\"><img src=\""
       << escapeHtml(panorama.file) << "\" alt=\"The six stills stitched into one panorama\">"
       << "<svg viewBox=\"0 0 " << kPanoramaWidth << " " << kPanoramaHeight
       << "\" preserveAspectRatio=\"none\">";
  for (int n = 0; n < rig::kCameras; ++n) {
    for (const std::vector<cv::Point>& outline : panorama.outlines[n]) {
      page << "<polygon fill=\"none\" stroke=\"" << kCameraColours[n] << "\" stroke-width=\"6\" points=\"";
      for (const cv::Point& point : outline) page << point.x << "," << point.y << " ";
      page << "\"/>";
    }
    const cv::Point2d& axis = panorama.axes[n];
    page << "<text x=\"" << fixed(axis.x, 0) << "\" y=\"" << fixed(axis.y, 0) << "\" fill=\""
         << kCameraColours[n] << "\" font-size=\"90\" text-anchor=\"middle\">" << n << "</text>";
  }
  page << "</svg></div>\n"
       << "<p>An equirectangular panorama: the horizon is the plane of the cameras' axes, camera 0 "
          "in the middle, 360&deg; across and 180&deg; down. Each still enters through the "
          "calibrated intrinsics and one orientation per camera, the six pair rotations composed "
          "around the ring with the closure spread evenly over them, and overlaps are blended by "
          "the angle from each camera's axis. Near objects show seams and doubled edges whatever "
          "the calibration (parallax), because the cameras sit apart; distant ones should line "
          "up.</p>\n";
}

void writeJobs(std::ostream& page, const CalibrationReport& report) {
  page << "<h2>Run</h2>\n<table><tr><th>job</th><th>result code</th></tr>\n";
  for (const JobOutcome& job : report.jobs) {
    page << "<tr><td class=\"text\">" << escapeHtml(jobName(job.job)) << "</td><td class=\""
         << (job.code == 0 ? "good" : "failed") << "\">" << job.code
         << (job.code == 0 ? " (success)" : " (failed)") << "</td></tr>\n";
  }
  page << "</table>\n";
}

void writeCameras(std::ostream& page, const CalibrationReport& report,
                  const Assessment& assessment) {
  page << "<h2>Cameras</h2>\n<table><tr><th>camera</th><th>frames read</th>"
          "<th>sampled</th><th>cheap test passed</th><th>views accepted</th>"
          "<th>corners kept</th><th>RMS error (px)</th><th>worst view RMS (px)</th>"
          "<th>fx</th><th>fy</th><th>cx</th><th>cy</th><th>k1</th><th>k2</th><th>k3</th>"
          "<th>k4</th><th>verdict</th></tr>\n";
  for (std::size_t i = 0; i < report.cameras.size(); ++i) {
    const CameraReport& camera = report.cameras[i];
    page << "<tr>" << cell(std::to_string(camera.camera));
    if (camera.intrinsic) {
      const IntrinsicReport& in = *camera.intrinsic;
      double worst = kNotMeasured;
      for (double rms : in.viewRmsErrors) {
        if (std::isfinite(rms) && !(rms <= worst)) worst = rms;
      }
      page << cell(std::to_string(in.framesRead)) << cell(std::to_string(in.framesSampled))
           << cell(std::to_string(in.framesPassingCheapTest))
           << cell(std::to_string(in.viewsAccepted)) << cell(std::to_string(in.cornersKept))
           << cell(fixed(in.rmsError, 3)) << cell(fixed(worst, 3));
    } else {
      page << "<td class=\"text\" colspan=\"7\">intrinsic parameters read from the file</td>";
    }
    if (camera.hasIntrinsics) {
      page << cell(fixed(camera.K(0, 0), 2)) << cell(fixed(camera.K(1, 1), 2))
           << cell(fixed(camera.K(0, 2), 2)) << cell(fixed(camera.K(1, 2), 2));
      for (int k = 0; k < 4; ++k) page << cell(significant(camera.D[k]));
    } else {
      page << "<td colspan=\"8\">n/a</td>";
    }
    page << verdictCell(assessment.cameras[i]) << "</tr>\n";
  }
  page << "</table>\n";
}

void writePairs(std::ostream& page, const CalibrationReport& report,
                const Assessment& assessment) {
  page << "<h2>Pairs</h2>\n<table><tr><th>pair</th><th>cameras</th>"
          "<th>correspondences</th><th>consistent with F</th><th>median error (px)</th>"
          "<th>R x (deg)</th><th>R y (deg)</th><th>R z (deg)</th><th>t</th>"
          "<th>share of the closure explained</th><th>verdict</th>"
          "<th>vertical disparity median / p95 (deg)</th><th>depth readiness</th></tr>\n";
  for (std::size_t i = 0; i < report.pairs.size(); ++i) {
    const PairReport& pair = report.pairs[i];
    std::string consistent = "n/a";
    if (pair.consistentWithF >= 0 && pair.correspondences > 0) {
      consistent = std::to_string(pair.consistentWithF) + " (" +
                   fixed(100.0 * pair.consistentWithF / pair.correspondences, 1) + " %)";
    }
    page << "<tr>" << cell(std::to_string(pair.pair))
         << cell(std::to_string(pair.first) + " &rarr; " + std::to_string(pair.second))
         << cell(std::to_string(pair.correspondences)) << cell(consistent);
    if (pair.solved) {
      page << cell(fixed(pair.medianError, 3)) << cell(fixed(pair.anglesDeg[0], 4))
           << cell(fixed(pair.anglesDeg[1], 4)) << cell(fixed(pair.anglesDeg[2], 4))
           << cell("(" + fixed(pair.t[0], 4) + ", " + fixed(pair.t[1], 4) + ", " +
                   fixed(pair.t[2], 4) + ")");
    } else {
      page << "<td colspan=\"5\">no pose</td>";
    }
    const bool inRing = assessment.ring && pair.pair >= 0 && pair.pair < rig::kCameras;
    // The shares mean something only when there is a closure error to explain.
    const bool explains = inRing && assessment.ring->broken();
    page << cell(explains ? fixed(100.0 * assessment.ring->explained[pair.pair], 0) + " %" : "n/a")
         << verdictCell(assessment.pairs[i]);
    if (const std::optional<DepthReadiness>& depth = assessment.depth[i]) {
      page << cell(fixed(depth->medianDeg, 3) + " / " + fixed(depth->p95Deg, 3)) << verdictCell(depth->judgement);
    } else {
      page << cell("n/a") << cell("n/a");
    }
    page << "</tr>\n";
  }
  page << "</table>\n"
       << "<p>The vertical disparity is measured in each pair's epipolar frame (the rectified "
          "pictures below): the difference of the row angles of a correspondence's two rays. A "
          "turn of one camera that moves points along the rows looks like a change of depth and "
          "no vertical disparity can see it: <b>good</b> here means the rows agree, not that "
          "depth is right.</p>\n";
}

// Only in a check of a stored calibration: each pair's verdict and figures.
void writeCheck(std::ostream& page, const CalibrationReport& report) {
  const PairCheck* rule = nullptr;  // every pair is judged by the same rule
  for (const PairReport& pair : report.pairs) {
    if (rule == nullptr && pair.check) rule = &*pair.check;
  }
  if (rule == nullptr) return;
  page << "<h2>Check of the stored calibration</h2>\n<table><tr><th>pair</th><th>verdict</th>"
          "<th>rotation change (deg)</th><th>direction change (deg)</th>"
          "<th>median error, stored pose (px)</th><th>median error, fresh pose (px)</th></tr>\n";
  for (const PairReport& pair : report.pairs) {
    if (!pair.check) continue;
    const PairCheck& check = *pair.check;
    page << "<tr>" << cell(std::to_string(pair.first) + "-" + std::to_string(pair.second))
         << "<td class=\"" << (check.moved ? "poor\">moved" : "good\">holds") << "</td>"
         << cell(fixed(check.rotationDeg, 3)) << cell(fixed(check.directionDeg, 3))
         << cell(fixed(check.storedErrorPx, 3)) << cell(fixed(check.freshErrorPx, 3)) << "</tr>\n";
  }
  page << "</table>\n<p>The pose each pair shows in the fresh stills is compared with the pose "
          "stored in the parameter file. A pair has <b>moved</b> when the stored pose explains "
          "the fresh correspondences more than "
       << fixed(rule->movedErrorRatio, 1)
       << " times worse (median error) than the fresh pose does, and the two rotations differ "
          "by more than "
       << fixed(rule->movedRotationFloorDeg, 2)
       << "&deg;. The same rig shot again gives both poses about the same error however noisy "
          "the stills, while a camera turned by a tenth of a degree gives its two pairs several "
          "times the error. The change of the baseline's direction is shown but does not "
          "decide: over a baseline of a few centimetres it is known to tenths of a degree at "
          "best. The rectified pairs below and their vertical disparity use the stored poses.</p>\n";
}

// Only with --ring-adjust: each pair's pairwise and adjusted pose side by side, and the ring's
// closure before and after.
void writeAdjustment(std::ostream& page, const CalibrationReport& report, const Assessment& assessment) {
  if (!report.adjustedClosureDeg) return;
  page << "<h2>Ring adjustment</h2>\n<table><tr><th>pair</th><th>R pairwise (deg)</th>"
          "<th>R adjusted (deg)</th><th>t pairwise</th><th>t adjusted</th>"
          "<th>rotation change (deg)</th><th>direction change (deg)</th>"
          "<th>1-&sigma; rotation (deg)</th><th>1-&sigma; direction (deg)</th></tr>\n";
  const auto triple = [](const cv::Vec3d& v, int decimals) {
    return fixed(v[0], decimals) + " " + fixed(v[1], decimals) + " " + fixed(v[2], decimals);
  };
  for (const PairReport& pair : report.pairs) {
    if (!pair.adjusted) continue;
    const AdjustedPairReport& adjusted = *pair.adjusted;
    page << "<tr>" << cell(std::to_string(pair.first) + "-" + std::to_string(pair.second))
         << cell(triple(pair.anglesDeg, 4)) << cell(triple(adjusted.anglesDeg, 4))
         << cell(triple(pair.t, 5)) << cell(triple(adjusted.t, 5))
         << cell(fixed(rig::rotationErrorDeg(adjusted.R, pair.R), 4))
         << cell(fixed(rig::directionErrorDeg(adjusted.t, pair.t), 3))
         << cell(fixed(adjusted.sigmaRotationDeg, 4)) << cell(fixed(adjusted.sigmaDirectionDeg, 3))
         << "</tr>\n";
  }
  page << "</table>\n<p>Ring closure: " << (assessment.ring ? fixed(assessment.ring->closureDeg, 4) : "n/a")
       << "&deg; pairwise, " << fixed(*report.adjustedClosureDeg, 6)
       << "&deg; adjusted. The parameter file holds the adjusted poses.</p>\n";
}

void writeRing(std::ostream& page, const Assessment& assessment) {
  page << "<h2>Ring closure</h2>\n<table><tr><th>closure (deg)</th>"
          "<th>pair that breaks the ring</th>"
          "<th>verdict</th></tr>\n<tr>";
  if (assessment.ring) {
    const rig::RingClosure& ring = *assessment.ring;
    page << cell(fixed(ring.closureDeg, 4))
         << cell(ring.broken() ? std::to_string(ring.suspect) : "none");
  } else {
    page << cell("n/a") << cell("n/a");
  }
  page << verdictCell(assessment.ringJudgement) << "</tr>\n</table>\n"
       << "<p>Pair n maps view n to view n+1 (X<sub>n+1</sub> = R<sub>n</sub>(X<sub>n</sub> "
          "&minus; t<sub>n</sub>)), so going once around the ring, R<sub>5</sub>R<sub>4</sub>"
          "R<sub>3</sub>R<sub>2</sub>R<sub>1</sub>R<sub>0</sub> maps view 0 to itself. The "
          "<i>closure</i> is the angle by which that product differs from the identity; a well "
          "calibrated rig closes to a few hundredths of a degree. A wrong pair shows in the "
          "closure, but the closure alone cannot say which pair it is: an error in any one "
          "pair gives the same closure angle. Its direction differs, though. For each pair, "
          "the error it would have to carry to cause the whole closure is compared with how "
          "its rotation actually deviates from the mean rotation of the other five pairs (the "
          "six cameras of a ring are alike, so their pair rotations are alike too). The "
          "<i>share of the closure explained</i> is the deviation's component along that "
          "error, as a share of the error: near 100 % for a pair that carries the error, near "
          "0 % for pairs that only differ by the cameras' natural mounting. When the closure "
          "exceeds "
       << fixed(rig::kClosureLimitDeg, 2)
       << "&deg;, the pair that explains the largest share is named as the pair that "
          "<b>breaks the ring</b>.</p>\n";
}

void writeThresholds(std::ostream& page) {
  page << "<h2>Limits of the verdicts</h2>\n<ul>\n"
       << "<li>Camera: the fisheye solve's RMS reprojection error is <b>good</b> up to "
       << fixed(kCameraRmsGoodPx, 2) << " px, to <b>check</b> up to "
       << fixed(kCameraRmsCheckPx, 2) << " px, <b>poor</b> above; a camera without a solve "
          "has <b>failed</b>.</li>\n"
       << "<li>Pair: a correspondence is consistent with the fundamental matrix F when its "
          "Sampson distance is at most "
       << fixed(rig::kSampsonLimitPx, 1) << " px; a share of at least "
       << fixed(100 * kConsistentShareGood, 0) << " % is good, of at least "
       << fixed(100 * kConsistentShareCheck, 0) << " % to check, less is poor.</li>\n"
       << "<li>Pair: the refinement's final median reprojection error (pixels of the "
          "undistorted views) is good up to "
       << fixed(kPairMedianGoodPx, 2) << " px, to check up to " << fixed(kPairMedianCheckPx, 2)
       << " px, poor above.</li>\n"
       << "<li>Ring: the closure is good up to " << fixed(kClosureGoodDeg, 2)
       << "&deg;, to check up to " << fixed(rig::kClosureLimitDeg, 2) << "&deg;, poor above.</li>\n"
       << "<li>Depth readiness: the median vertical disparity of a pair's correspondences "
          "(the inliers of F) in its epipolar frame is good up to "
       << fixed(kVerticalDisparityGoodDeg, 2) << "&deg;, to check up to "
       << fixed(kVerticalDisparityCheckDeg, 2)
       << "&deg;, poor above. On six generated rigs (three standard, three with harder "
          "stills) the calibrated pairs measured 0.003&ndash;0.007&deg; (95th percentile at most "
          "0.03&deg;); one camera pitched by 0.2&deg; put both its pairs at 0.16&ndash;0.18&deg;, "
          "turned by 0.2&deg; about its axis at 0.09&ndash;0.12&deg;.</li>\n"
       << "<li>Each verdict is the worst of its criteria.</li>\n</ul>\n";
}

void writeFigures(std::ostream& page, const CalibrationReport& report,
                  const FigureFiles& figures) {
  const char* heading = "<h2>Cameras in pictures</h2>\n";
  for (std::size_t i = 0; i < report.cameras.size(); ++i) {
    const int n = report.cameras[i].camera;
    const CameraFigures& files = figures.cameras[i];
    if (files.coverage.empty() && files.preview.empty()) continue;
    page << std::exchange(heading, "") << "<h3>Camera " << n << "</h3>\n"
         << figure(files.coverage, "Camera " + std::to_string(n) +
                                       ": the accepted corners over the frame, coloured by "
                                       "their reprojection error")
         << figure(files.preview, "Camera " + std::to_string(n) +
                                      ": the undistorted view after the quarter turn");
  }
  heading = "<h2>Pairs in pictures</h2>\n";
  for (std::size_t i = 0; i < report.pairs.size(); ++i) {
    const PairReport& pair = report.pairs[i];
    const PairFigures& files = figures.pairs[i];
    if (files.matches.empty() && files.errors.empty() && files.rectified.empty()) continue;
    page << std::exchange(heading, "");
    const std::string name = "Pair " + std::to_string(pair.pair) + " (cameras " +
                             std::to_string(pair.first) + " and " +
                             std::to_string(pair.second) + ")";
    page << "<h3>" << name << "</h3>\n"
         << figure(files.matches, name + ": the two warped strips the flow ran on, with a "
                                         "sample of correspondences")
         << figure(files.errors, name + ": histogram of the refinement's final "
                                        "reprojection errors")
         << figure(files.rectified, name + ": both stills in the pair's epipolar frame (rows "
                                           "are planes through the baseline, 5 px per degree, "
                                           "guide lines every 10 degrees): a scene point lies "
                                           "on the same row in both views");
  }
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
  std::ostringstream page;
  page << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
       << "<title>ringcalib calibration report</title>\n<style>" << kStyle
       << "</style>\n</head>\n<body>\n<h1>Calibration report</h1>\n";
  writeSummary(page, report, assessment);
  writePanorama(page, figures.panorama);
  writeJobs(page, report);
  if (!report.cameras.empty()) writeCameras(page, report, assessment);
  if (!report.pairs.empty()) {
    writeCheck(page, report);
    writePairs(page, report, assessment);
    writeRing(page, assessment);
    writeAdjustment(page, report, assessment);
  }
  writeThresholds(page);
  writeFigures(page, report, figures);
  page << "<p>The same numbers, machine readable: <a href=\"" << kJsonFile << "\">"
       << kJsonFile << "</a>.</p>\n</body>\n</html>\n";
  return page.str();
}

}  // namespace ringcalib::report
