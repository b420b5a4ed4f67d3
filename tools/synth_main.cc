// ringcalib-synth: renders a synthetic ring of fisheye cameras (checkerboard videos, ring
// stills) and its truth.
#include <chrono>
#include <iostream>

#include <tclap/CmdLine.h>

#include "core/input_param.h"
#include "core/result_code.h"
#include "core/process_settings.h"
#include "core/version.h"
#include "tools/rig_variant.h"
#include "tools/synthetic_rig.h"
#include "tools/truth_compare.h"
#include "tools/truth_file.h"
#include "tools/variant_arguments.h"

namespace {

// A hard shoot: sensor noise, slight defocus, stronger compression, larger rig deviations.
constexpr double kHardNoise = 3.0;
constexpr double kHardBlur = 0.8;
constexpr int kHardJpegQuality = 85;
constexpr ringcalib::synth::ValueRange kHardRigTurn{1.0, 3.0};
// A re-shoot has sensor noise unless --noise says otherwise, so that it differs from the
// calibration shoot in more than exposure.
constexpr double kReshootNoise = 2.0;

// `arg`'s "<min>[,<max>]" value, or a command-line error naming the option.
ringcalib::synth::ValueRange rangeValue(const TCLAP::ValueArg<std::string>& arg) {
  const std::optional<ringcalib::synth::ValueRange> range = ringcalib::synth::parseValueRange(arg.getValue());
  if (!range) throw TCLAP::ArgParseException("expected <min>[,<max>], got \"" + arg.getValue() + "\"", arg.longID());
  return *range;
}

}  // namespace

int main(int argc, char** argv) {
  ringcalib::applyThreadCountFromEnvironment();
  ringcalib::synth::RigOptions options;
  std::string outDir;
  try {
    TCLAP::CmdLine cmd("Render a synthetic ring of fisheye cameras (six by default) and its truth", ' ', ringcalib::kVersion);
    TCLAP::ValueArg<std::string> outArg("", "out", "output folder (video/, image/, truth.json)", true, "", "dir", cmd);
    TCLAP::ValueArg<std::uint64_t> seedArg("", "seed", "random seed", false, options.seed, "N", cmd);
    TCLAP::ValueArg<int> framesArg("", "frames", "frames per video", false, options.framesPerVideo, "N", cmd);
    TCLAP::ValueArg<int> widthArg("", "width", "video width in pixels", false, options.videoWidth, "W", cmd);
    TCLAP::ValueArg<int> heightArg("", "height", "video height in pixels", false, options.videoHeight, "H", cmd);
    TCLAP::ValueArg<int> stillWidthArg("", "still-width", "still width in pixels (default 1.25 x the video width)", false, 0,
                                       "W", cmd);
    TCLAP::ValueArg<int> stillHeightArg("", "still-height", "still height in pixels (default 1.25 x the video height)", false,
                                        0, "H", cmd);
    TCLAP::ValueArg<std::string> boardArg("", "board", "the videos' board, inner corners (default 9x12)", false, "9x12",
                                          "<cols>x<rows>", cmd);
    TCLAP::SwitchArg printedArg("", "printed-board",
                                "the videos show a printed board, dark squares on white paper, instead of light squares on "
                                "the dark field",
                                cmd);
    TCLAP::ValueArg<double> absentArg(
        "", "absent",
        "share of each video (0 to 1) in which the board is out of view and only the empty surround is seen, in "
        "stretches at the start, in the middle and at the end; 0 keeps the board in view throughout",
        false, options.absentFraction, "fraction", cmd);
    TCLAP::SwitchArg noVideoArg("", "no-video", "do not write the videos", cmd);
    TCLAP::SwitchArg noImageArg("", "no-image", "do not write the stills", cmd);
    TCLAP::ValueArg<double> noiseArg("", "noise", "Gaussian sensor noise of the stills, standard deviation in grey levels (default 0)",
                                     false, options.shoot.noiseSigma, "sigma", cmd);
    TCLAP::ValueArg<double> blurArg("", "blur", "Gaussian blur of the stills, standard deviation in pixels (default 0)", false,
                                    options.shoot.blurSigma, "sigma", cmd);
    TCLAP::ValueArg<double> motionBlurArg(
        "", "motion-blur", "linear motion blur of the stills, its length in pixels, in a random direction per camera (default 0)",
        false, options.shoot.motionBlurLength, "length", cmd);
    TCLAP::ValueArg<int> jpegQualityArg("", "jpeg-quality", "JPEG quality of the stills, 1 to 100 (default 95)", false,
                                        options.shoot.jpegQuality, "q", cmd);
    TCLAP::ValueArg<double> contrastArg(
        "", "contrast",
        "the scene's grey values in the stills scaled about mid-grey by this factor (default 1, unchanged; a foggy "
        "shoot: 0.015); outside the lens' image circle stays black",
        false, options.shoot.contrast, "factor", cmd);
    TCLAP::ValueArg<std::string> rigTurnArg(
        "", "rig-turn",
        "each camera deviates from the ideal ring by a turn of this many degrees, or of an angle drawn between min and "
        "max, about a random axis (default: about 1 degree, 0.6 per axis)",
        false, "", "min[,max]", cmd);
    TCLAP::ValueArg<std::string> ringRadiusArg(
        "", "ring-radius", "the ring's radius in metres, or drawn between min and max once per rig (default 0.15)", false,
        "", "min[,max]", cmd);
    TCLAP::ValueArg<std::string> focalScaleArg(
        "", "focal-scale",
        "the lenses' focal lengths multiplied by this factor, or by one drawn between min and max once per rig; above "
        "1 a longer lens with a narrower field (default 1)",
        false, "", "min[,max]", cmd);
    TCLAP::SwitchArg hardArg(
        "", "hard",
        "a hard shoot: --noise 3 --blur 0.8 --jpeg-quality 85 --rig-turn 1,3 (each overridden by its own option)", cmd);
    TCLAP::ValueArg<std::uint64_t> reshootArg(
        "", "reshoot",
        "render the stills of the same rig (same --seed) again as a later shoot: noise, motion blur directions and per "
        "camera an exposure factor in [0.7, 1.3] and a gamma in [0.8, 1.25] drawn from this seed; the noise is 2 grey "
        "levels unless --noise or --hard is given; truth.json says so",
        false, 0, "seed2", cmd);
    TCLAP::ValueArg<std::string> photosArg(
        "", "photos",
        "texture every surface with the photographs (.jpg, .png, .bmp, .tif) of this folder: plain plaster with "
        "pictures hung on it and, on some surfaces, a repeated tile, instead of the generated textures",
        false, "", "folder", cmd);
    TCLAP::SwitchArg nearArg("", "near", "add seven boxes of furniture 1.4 to 2.6 m from the ring, standing on the floor",
                             cmd);
    TCLAP::ValueArg<double> vignettingArg(
        "", "vignetting",
        "the stills lose this share of their light at 90 degrees off the axis, growing with the square of the angle "
        "(0 to 0.9; default 0)",
        false, 0.0, "share", cmd);
    TCLAP::ValueArg<std::string> gainArg(
        "", "gain", "each camera's grey values multiplied by a gain drawn between min and max (0.2 to 5)", false, "",
        "min[,max]", cmd);
    TCLAP::ValueArg<std::string> turnCameraArg(
        "", "turn-camera",
        "render the stills with camera n (0 to N - 1) turned since calibration by deg degrees about axis x, y or z of its "
        "prepared view's frame; truth.json keeps the calibrated rig's pairs under \"pairs\" and adds the turned rig's "
        "under \"turned_pairs\"",
        false, "", "n:axis:deg", cmd);
    TCLAP::ValueArg<int> camerasArg(
        "", "cameras",
        "the ring's number of cameras, 3 to 8, spaced 360/N degrees apart; camera n + 1 stands to the right of camera n "
        "seen from behind it (default 6)",
        false, options.layout.cameras, "N", cmd);
    TCLAP::ValueArg<double> tiltArg(
        "", "tilt",
        "every camera tilted about its own horizontal axis by this many degrees, -35 to 35, negative looking down "
        "(default 0, level)",
        false, 0.0, "deg", cmd);
    TCLAP::ValueArg<double> spacingJitterArg(
        "", "spacing-jitter",
        "uneven spacing: each camera's bearing moved by an amount drawn within +-deg, 0 to 10 (default 0)", false, 0.0,
        "deg", cmd);
    TCLAP::SwitchArg uprightArg("", "upright",
                                "the sensors stand upright, the world's up is up in the stills (by default each "
                                "sensor is turned a quarter, up pointing to the right of the still)",
                                cmd);
    TCLAP::SwitchArg otherWayArg("", "turned-other-way",
                                 "each sensor turned a quarter the other way: up points to the left of the still", cmd);
    TCLAP::ValueArg<double> circularArg(
        "", "circular-fisheye",
        "circular fisheye lenses of this field of view across the image circle, 120 to 200 degrees: the circle's "
        "diameter is 0.96 x the frame's shorter side, black outside it, the focal length such that the field's edge "
        "falls on the circle",
        false, 0.0, "fov deg", cmd);
    cmd.parse(argc, argv);
    options.layout.cameras = camerasArg.getValue();
    options.layout.tiltDegrees = tiltArg.getValue();
    options.layout.spacingJitterDegrees = spacingJitterArg.getValue();
    if (uprightArg.getValue() && otherWayArg.getValue())
      throw TCLAP::ArgParseException("give --upright or --turned-other-way, not both", uprightArg.longID());
    if (uprightArg.getValue()) options.layout.mount = ringcalib::synth::SensorMount::kUpright;
    if (otherWayArg.getValue()) options.layout.mount = ringcalib::synth::SensorMount::kQuarterTurnedOtherWay;
    if (circularArg.isSet()) options.circularFieldDegrees = circularArg.getValue();
    outDir = outArg.getValue();
    options.seed = seedArg.getValue();
    options.framesPerVideo = framesArg.getValue();
    options.videoWidth = widthArg.getValue();
    options.videoHeight = heightArg.getValue();
    options.absentFraction = absentArg.getValue();
    if (stillWidthArg.isSet() != stillHeightArg.isSet())
      throw TCLAP::ArgParseException("give both --still-width and --still-height, or neither", stillWidthArg.longID());
    if (stillWidthArg.isSet()) options.stillSize = cv::Size(stillWidthArg.getValue(), stillHeightArg.getValue());
    InputParam::BoardCorners board;
    if (!InputParam::parseBoard(boardArg.getValue(), board))
      throw TCLAP::ArgParseException("expected <cols>x<rows>, each 3 to 100, got \"" + boardArg.getValue() + "\"",
                                     boardArg.longID());
    options.board.squares = cv::Size(board.columns + 1, board.rows + 1);
    options.board.printed = printedArg.getValue();
    options.videos = !noVideoArg.getValue();
    options.images = !noImageArg.getValue();
    // --hard and --reshoot choose values only for the options not given.
    const bool hard = hardArg.getValue();
    options.shoot.noiseSigma = noiseArg.isSet() ? noiseArg.getValue()
                               : hard           ? kHardNoise
                               : reshootArg.isSet() ? kReshootNoise
                                                    : noiseArg.getValue();
    options.shoot.blurSigma = hard && !blurArg.isSet() ? kHardBlur : blurArg.getValue();
    options.shoot.motionBlurLength = motionBlurArg.getValue();
    options.shoot.jpegQuality = hard && !jpegQualityArg.isSet() ? kHardJpegQuality : jpegQualityArg.getValue();
    options.shoot.contrast = contrastArg.getValue();
    if (rigTurnArg.isSet()) options.ring.turnDegrees = rangeValue(rigTurnArg);
    else if (hard) options.ring.turnDegrees = kHardRigTurn;
    if (ringRadiusArg.isSet()) options.ring.radiusMetres = rangeValue(ringRadiusArg);
    if (focalScaleArg.isSet()) options.focalScale = rangeValue(focalScaleArg);
    if (reshootArg.isSet()) options.shoot.reshootSeed = reshootArg.getValue();
    options.shoot.vignetting = vignettingArg.getValue();
    if (gainArg.isSet()) options.shoot.gain = rangeValue(gainArg);
    options.scene.photoFolder = photosArg.getValue();
    options.scene.nearFurniture = nearArg.getValue();
    if (turnCameraArg.isSet()) {
      options.turn = ringcalib::synth::parseCameraTurn(turnCameraArg.getValue());
      if (!options.turn)
        throw TCLAP::ArgParseException("expected <camera 0-7>:<x|y|z>:<degrees>, got \"" + turnCameraArg.getValue() + "\"",
                                       turnCameraArg.longID());
    }
  } catch (const TCLAP::ArgException& e) {
    std::cerr << "error: " << e.error() << " for " << e.argId() << std::endl;
    return ringcalib::kCommandLineError;
  }
  if (const std::string problem = ringcalib::synth::variantProblem(options); !problem.empty()) {
    std::cerr << "error: " << problem << std::endl;
    return ringcalib::kCommandLineError;
  }
  try {
    const auto start = std::chrono::steady_clock::now();
    const ringcalib::synth::RigTruth truth = ringcalib::synth::generateRig(outDir, options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "rig written to " << outDir << " in " << seconds << " s" << std::endl;
    if (truth.posesInCameraFrames) {
      std::cout << "pairs' truth in the cameras' own frames (\"pose_frame\": \"camera\")" << std::endl;
      return ringcalib::kSuccess;
    }
    // How far the truth in the tool's pixel convention lies from the prepared frames' geometry.
    const ringcalib::synth::GeometricPairs geometric = ringcalib::synth::readGeometricPairs(outDir + "/truth.json");
    for (size_t n = 0; n < geometric.size(); ++n) {
      std::cout << "pair " << n << "-" << (n + 1) % geometric.size() << ": tool-convention truth differs from the geometric pose by "
                << ringcalib::rig::rotationErrorDeg(truth.pairs[n].R, geometric[n].R) << " deg (rotation), "
                << ringcalib::rig::directionErrorDeg(truth.pairs[n].t, geometric[n].t) << " deg (direction)" << std::endl;
    }
  } catch (const std::exception& e) {
    std::cerr << "error: " << e.what() << std::endl;
    return ringcalib::kComputationFailed;
  }
  return ringcalib::kSuccess;
}
