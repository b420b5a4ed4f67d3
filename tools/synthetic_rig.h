#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/camera_turn.h"
#include "tools/board_renderer.h"
#include "tools/rig_truth.h"
#include "tools/ring_layout.h"
#include "tools/ring_variation.h"
#include "tools/still_effects.h"
#include "tools/surround_scene.h"

namespace ringcalib::synth {

struct RigOptions {
  std::uint64_t seed = 1;
  int videoWidth = 3200, videoHeight = 2400;  // stills are 1.25 x this (4000 x 3000)
  cv::Size stillSize;                         // unless this is given (not empty)
  BoardLook board;                            // the board of the videos
  int framesPerVideo = 240;                   // frames of each origin_<n>.mp4
  double absentFraction = 0.0;                // share of each video's frames without the board (boardAbsentAt)
  bool videos = true;                         // write <out>/video/origin_<n>.mp4
  bool images = true;                         // write <out>/image/origin_<n>.jpg
  // Departures from the standard rig, for accuracy and sensitivity measurements; the defaults
  // render the standard rig.
  RingVariation ring;                    // ring radius, size of the cameras' deviations
  std::optional<ValueRange> focalScale;  // all lenses' focal lengths times a factor drawn per rig
  ShootOptions shoot;                    // degradations of the stills, a re-shoot of the same rig
  SceneLook scene;                       // photographs on the surfaces, furniture near the ring
  std::optional<CameraTurn> turn;        // the stills show the rig with one camera turned since calibration
  // Rings of other layouts and lenses; the defaults render the standard six-camera ring.
  RingLayout layout;                          // number of cameras, tilt, spacing, mounting
  std::optional<double> circularFieldDegrees;  // circular fisheyes of this field (drawCircularCamera)
};


// Renders the rig into outDir (creating outDir/video, outDir/image) and writes outDir/truth.json
// (truth_file.h).
// Throws std::runtime_error (naming the file) when something cannot be written or read back.
RigTruth generateRig(const std::string& outDir, const RigOptions& options);

// Reads a truth.json written by generateRig; throws std::runtime_error naming the file when it
// cannot be read or a value is missing.
RigTruth readTruth(const std::string& truthJsonPath);

}  // namespace ringcalib::synth
