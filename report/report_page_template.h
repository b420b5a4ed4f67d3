#pragma once

// The report page as a Mustache template over the page's view (report_page.cc builds it from
// the report's records, the data report.json holds). A table's header and its rows take
// their columns from the same lists, and a cell that stands for a missing group spans that
// group's length, so no column count is written here.
namespace ringcalib::report {

inline constexpr char kPageTemplate[] = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>ringcalib calibration report</title>
<style>{{{style}}}</style>
</head>
<body>
<h1>Calibration report</h1>
{{#overall}}
<p class="{{verdict}}" style="padding:6px 10px">Overall: <b>{{verdict}}</b>{{#reasons}}{{{separator}}}{{text}}{{/reasons}}</p>
{{/overall}}
{{#panorama}}
<h2>Panorama</h2>
<input type="checkbox" id="outlines"><label for="outlines"> outline where each camera contributes (at least {{outlineShare}} % of the blend)</label>
<div class="pano"><img src="{{file}}" alt="The {{cameraCount}} stills stitched into one panorama"><svg viewBox="0 0 {{width}} {{height}}" preserveAspectRatio="none">{{#cameras}}{{#outlines}}<polygon fill="none" stroke="{{colour}}" stroke-width="6" points="{{points}}"/>{{/outlines}}<text x="{{x}}" y="{{y}}" fill="{{colour}}" font-size="90" text-anchor="middle">{{camera}}</text>{{/cameras}}</svg></div>
<p>An equirectangular panorama: the horizon is {{{horizon}}}, camera 0 in the middle, 360&deg; across and 180&deg; down. Each still enters through the calibrated intrinsics and one orientation per camera, the {{cameraCount}} pair rotations composed around the ring with the closure spread evenly over them, and overlaps are blended by the angle from each camera's axis. Near objects show seams and doubled edges whatever the calibration (parallax), because the cameras sit apart; distant ones should line up.</p>
{{/panorama}}
<h2>Run</h2>
<table><tr><th>job</th><th>result code</th></tr>
{{#jobs}}
<tr><td class="text">{{name}}</td><td class="{{verdict}}">{{code}} ({{outcome}})</td></tr>
{{/jobs}}
</table>
{{#cameraTable}}
<h2>Cameras</h2>
{{>table}}
{{/cameraTable}}
{{#checkTable}}
<h2>Check of the stored calibration</h2>
{{>table}}
<p>The pose each pair shows in the fresh stills is compared with the pose stored in the parameter file. A pair has <b>moved</b> when the stored pose explains the fresh correspondences more than {{movedErrorRatio}} times worse (median error) than the fresh pose does, and the two rotations differ by more than {{movedRotationFloorDeg}}&deg;. The same rig shot again gives both poses about the same error however noisy the stills, while a camera turned by a tenth of a degree gives its two pairs several times the error. The change of the baseline's direction is shown but does not decide: over a baseline of a few centimetres it is known to tenths of a degree at best. The rectified pairs below and their vertical disparity use the stored poses.</p>
{{/checkTable}}
{{#pairTable}}
<h2>Pairs</h2>
{{>table}}
<p>The vertical disparity is measured in each pair's epipolar frame (the rectified pictures below): the difference of the row angles of a correspondence's two rays. A turn of one camera that moves points along the rows looks like a change of depth and no vertical disparity can see it: <b>good</b> here means the rows agree, not that depth is right.</p>
{{/pairTable}}
{{#ringTable}}
<h2>Ring closure</h2>
{{>table}}
<p>Pair n maps view n to view n+1 (X<sub>n+1</sub> = R<sub>n</sub>(X<sub>n</sub> &minus; t<sub>n</sub>)), so going once around the ring, {{{ringProduct}}} maps view 0 to itself. The <i>closure</i> is the angle by which that product differs from the identity; a well calibrated rig closes to a few hundredths of a degree. A wrong pair shows in the closure, but the closure alone cannot say which pair it is: an error in any one pair gives the same closure angle. Its direction differs, though. For each pair, the error it would have to carry to cause the whole closure is compared with how its rotation actually deviates from the mean rotation of the other {{otherPairs}} pairs (the {{ringCameras}} cameras of a ring are alike, so their pair rotations are alike too). The <i>share of the closure explained</i> is the deviation's component along that error, as a share of the error: near 100 % for a pair that carries the error, near 0 % for pairs that only differ by the cameras' natural mounting. When the closure exceeds {{closureLimitDeg}}&deg;, the pair that explains the largest share is named as the pair that <b>breaks the ring</b>.</p>
{{/ringTable}}
{{#adjustmentTable}}
<h2>Ring adjustment</h2>
{{>table}}
<p>Ring closure: {{pairwiseClosureDeg}}&deg; pairwise, {{adjustedClosureDeg}}&deg; adjusted. The parameter file holds the adjusted poses.</p>
{{/adjustmentTable}}
{{#limits}}
<h2>Limits of the verdicts</h2>
<ul>
<li>Camera: the fisheye solve's RMS reprojection error is <b>good</b> up to {{cameraRmsGoodPx}} px, to <b>check</b> up to {{cameraRmsCheckPx}} px, <b>poor</b> above; a camera without a solve has <b>failed</b>.{{#fieldLimit}} A camera solved past the central circle is <b>poor</b> too when its model folds back inside the field its frame shows, or its corners do not reach as far off the axis as the stills are used (the prepared views' reach, or the frame's nearest side where that is nearer).{{/fieldLimit}}</li>
<li>Pair: a correspondence is consistent with the fundamental matrix F when its Sampson distance is at most {{sampsonLimitPx}} px; a share of at least {{consistentShareGood}} % is good, of at least {{consistentShareCheck}} % to check, less is poor.</li>
<li>Pair: the refinement's final median reprojection error (pixels of the undistorted views) is good up to {{pairMedianGoodPx}} px, to check up to {{pairMedianCheckPx}} px, poor above.</li>
<li>Ring: the closure is good up to {{closureGoodDeg}}&deg;, to check up to {{closureLimitDeg}}&deg;, poor above.</li>
<li>Depth readiness: the median vertical disparity of a pair's correspondences (the inliers of F) in its epipolar frame is good up to {{disparityGoodDeg}}&deg;, to check up to {{disparityCheckDeg}}&deg;, poor above. On six generated rigs (three standard, three with harder stills) the calibrated pairs measured 0.003&ndash;0.007&deg; (95th percentile at most 0.03&deg;); one camera pitched by 0.2&deg; put both its pairs at 0.16&ndash;0.18&deg;, turned by 0.2&deg; about its axis at 0.09&ndash;0.12&deg;.</li>
<li>Each verdict is the worst of its criteria.</li>
</ul>
{{/limits}}
{{#cameraFiguresShown}}
<h2>Cameras in pictures</h2>
{{/cameraFiguresShown}}
{{#cameraFigures}}
<h3>Camera {{camera}}</h3>
{{#figures}}{{>figure}}{{/figures}}
{{/cameraFigures}}
{{#pairFiguresShown}}
<h2>Pairs in pictures</h2>
{{/pairFiguresShown}}
{{#pairFigures}}
<h3>{{name}}</h3>
{{#figures}}{{>figure}}{{/figures}}
{{/pairFigures}}
<p>The same numbers, machine readable: <a href="{{jsonFile}}">{{jsonFile}}</a>.</p>
</body>
</html>
)PAGE";

// A table: its header, then each row's cells.
inline constexpr char kTableTemplate[] = R"TABLE(<table><tr>{{#columns}}<th>{{{.}}}</th>{{/columns}}</tr>
{{#rows}}
<tr>{{#cells}}{{>cell}}{{/cells}}</tr>
{{/rows}}
</table>
)TABLE";

// One table cell: its text, a verdict's name and reasons, or the whole of a group of columns
// that has nothing to show.
inline constexpr char kCellTemplate[] =
    R"CELL(<td{{#class}} class="{{class}}"{{/class}}{{#span}} colspan="{{span}}"{{/span}}>{{#verdict}}<b>{{verdict}}</b>{{#reasons}}{{separator}}{{text}}{{/reasons}}{{/verdict}}{{{html}}}{{text}}</td>)CELL";

inline constexpr char kFigureTemplate[] =
    R"FIGURE(<figure><img src="{{file}}" alt="{{caption}}"><figcaption>{{caption}}</figcaption></figure>
)FIGURE";

}  // namespace ringcalib::report
