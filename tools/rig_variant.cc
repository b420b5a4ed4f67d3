#include "tools/rig_variant.h"

#include <cmath>
#include <vector>

#include "tools/truth_file.h"

namespace ringcalib::synth {
namespace {

using nlohmann::json;

constexpr std::uint64_t kFocalScaleStream = 710;
constexpr double kLeastCircularField = 120.0;
constexpr double kMostCircularField = 200.0;  // FisheyeLens models up to 100° off the axis

bool inRange(const std::optional<ValueRange>& range, double low, double high) {
  return !range || (range->low >= low && range->low <= range->high && range->high <= high);
}

json rangeJson(const ValueRange& range) { return {range.low, range.high}; }

}  // namespace

bool isStandardRig(const RigOptions& options) {
  const ShootOptions standard;
  const ShootOptions& shoot = options.shoot;
  return !options.ring.radiusMetres && !options.ring.turnDegrees && !options.focalScale && !options.turn &&
         !shoot.reshootSeed && shoot.noiseSigma == standard.noiseSigma && shoot.blurSigma == standard.blurSigma &&
         shoot.motionBlurLength == standard.motionBlurLength && shoot.contrast == standard.contrast &&
         shoot.jpegQuality == standard.jpegQuality && shoot.vignetting == standard.vignetting && !shoot.gain &&
         options.scene.photoFolder.empty() && !options.scene.nearFurniture;
}

std::string variantProblem(const RigOptions& options) {
  const ShootOptions& shoot = options.shoot;
  // The negated comparisons also refuse NaN.
  if (!(shoot.noiseSigma >= 0.0 && shoot.noiseSigma <= 100.0)) return "the noise must lie between 0 and 100 grey levels";
  if (!(shoot.blurSigma >= 0.0 && shoot.blurSigma <= 20.0)) return "the blur must lie between 0 and 20 pixels";
  if (!(shoot.motionBlurLength >= 0.0 && shoot.motionBlurLength <= 50.0))
    return "the motion blur must lie between 0 and 50 pixels";
  if (!(shoot.contrast > 0.0 && shoot.contrast <= 10.0)) return "the contrast must lie above 0 and at most 10";
  if (shoot.jpegQuality < 1 || shoot.jpegQuality > 100) return "the JPEG quality must lie between 1 and 100";
  if (!inRange(options.ring.turnDegrees, 0.0, 30.0))
    return "the rig turn must lie between 0 and 30 degrees, the smaller value first";
  if (!inRange(options.ring.radiusMetres, 0.01, 1.0))
    return "the ring radius must lie between 0.01 and 1 metres, the smaller value first";
  if (!(shoot.vignetting >= 0.0 && shoot.vignetting <= 0.9)) return "the vignetting must lie between 0 and 0.9";
  if (!inRange(shoot.gain, 0.2, 5.0)) return "the gain must lie between 0.2 and 5, the smaller value first";
  if (!inRange(options.focalScale, 0.2, 5.0))
    return "the focal scale must lie between 0.2 and 5, the smaller value first";
  if (const std::string problem = layoutProblem(options.layout); !problem.empty()) return problem;
  // A still of another aspect would be rendered through a lens scaled by 0: black.
  rig::FisheyeCamera frames;
  frames.frameSize = cv::Size(options.videoWidth, options.videoHeight);
  if (!options.stillSize.empty() && frames.stillScale(options.stillSize) == 0.0)
    return "the stills must be the video frames scaled, of the same aspect within a pixel";
  if (options.circularFieldDegrees) {
    const double field = *options.circularFieldDegrees;
    if (!(field >= kLeastCircularField && field <= kMostCircularField))
      return "the circular fisheye's field must lie between 120 and 200 degrees";
    // The circle's size follows from the frame; a focal factor would push it out of the frame.
    if (options.focalScale) return "the focal scale does not apply to circular fisheyes";
  }
  if (options.turn) {
    const CameraTurn& turn = *options.turn;
    if (turn.camera < 0 || turn.camera >= options.layout.cameras)
      return "the turned camera must be 0 to " + std::to_string(options.layout.cameras - 1);
    if (turn.axis < 0 || turn.axis > 2) return "the turn's axis must be x, y or z";
    if (!(std::abs(turn.degrees) <= 180.0)) return "the camera's turn must lie between -180 and 180 degrees";
  }
  return "";
}

double drawnFocalScale(const RigOptions& options) {
  return options.focalScale ? drawFromRange(*options.focalScale, options.seed, kFocalScaleStream) : 1.0;
}

json variantTruthMembers(const RigOptions& options, double ringRadius, const std::vector<StillEffects>& effects,
                         const std::optional<TurnedPairs>& turned) {
  if (isStandardRig(options)) return json::object();
  const ShootOptions& shoot = options.shoot;
  json variant = {{"noise", shoot.noiseSigma},
                  {"blur", shoot.blurSigma},
                  {"motion_blur", shoot.motionBlurLength},
                  {"contrast", shoot.contrast},
                  {"jpeg_quality", shoot.jpegQuality},
                  {"ring_radius", ringRadius},
                  {"focal_scale", drawnFocalScale(options)}};
  if (options.ring.radiusMetres) variant["ring_radius_range"] = rangeJson(*options.ring.radiusMetres);
  if (options.focalScale) variant["focal_scale_range"] = rangeJson(*options.focalScale);
  if (options.ring.turnDegrees) variant["rig_turn_degrees"] = rangeJson(*options.ring.turnDegrees);
  if (shoot.reshootSeed) variant["reshoot_seed"] = *shoot.reshootSeed;
  if (shoot.vignetting > 0.0) variant["vignetting"] = shoot.vignetting;
  if (shoot.gain) variant["gain_range"] = rangeJson(*shoot.gain);
  if (!options.scene.photoFolder.empty()) variant["photos"] = options.scene.photoFolder;
  if (options.scene.nearFurniture) variant["near_furniture"] = true;
  for (const StillEffects& camera : effects) {
    json still = {{"exposure", camera.exposure}, {"gamma", camera.gamma}};
    if (camera.motionBlurLength > 0.0) still["motion_blur_degrees"] = camera.motionBlurAngle * 180.0 / CV_PI;
    variant["stills"].push_back(still);
  }
  json members = {{"variant", variant}};
  if (options.turn) {
    members["variant"]["turn_camera"] = {{"camera", options.turn->camera},
                                         {"axis", std::string(1, "xyz"[options.turn->axis])},
                                         {"degrees", options.turn->degrees}};
  }
  if (turned) members["turned_pairs"] = pairEntries(turned->pairs, turned->geometric);
  return members;
}

json layoutTruthMembers(const RigOptions& options) {
  const RingLayout& layout = options.layout;
  if (layout.isStandard() && !options.circularFieldDegrees) return json::object();
  json bearings = json::array();
  for (const double bearing : ringBearings(options.seed, layout)) bearings.push_back(bearing * 180.0 / CV_PI);
  json described = {{"cameras", layout.cameras},
                    {"mounting", mountName(layout.mount)},
                    {"tilt_degrees", layout.tiltDegrees},
                    {"spacing_jitter_degrees", layout.spacingJitterDegrees},
                    {"bearings_degrees", bearings}};
  if (options.circularFieldDegrees) described["circular_fisheye_field_degrees"] = *options.circularFieldDegrees;
  return {{"layout", described}};
}

}  // namespace ringcalib::synth
