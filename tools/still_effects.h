#pragma once

#include <cstdint>
#include <optional>

#include <opencv2/core.hpp>

#include "tools/rendered_lens.h"
#include "tools/ring_variation.h"

namespace ringcalib::synth {

// How the stills of one shoot are degraded after rendering, before JPEG encoding. The
// defaults leave the rendered stills as they are.
struct ShootOptions {
  double noiseSigma = 0.0;        // Gaussian sensor noise, grey levels
  double blurSigma = 0.0;         // Gaussian blur, pixels
  double motionBlurLength = 0.0;  // linear motion blur, pixels, in a random direction per camera
  double contrast = 1.0;          // the scene's grey values scaled about mid-grey (fog: well below 1)
  int jpegQuality = 95;
  // Light lost toward the image circle's rim: the share lost at 90 degrees off the axis,
  // growing with the square of the angle.
  double vignetting = 0.0;
  // Set: each camera's gain (a factor on its grey values) drawn from this range.
  std::optional<ValueRange> gain;
  // Set: the same rig shot again, its noise, motion directions, exposures and gammas drawn
  // from this seed instead of the rig's.
  std::optional<std::uint64_t> reshootSeed;
};

// What one camera's still goes through.
struct StillEffects {
  double contrast = 1.0;
  double exposure = 1.0;  // factor on the grey values: the re-shoot's exposure times the gain
  double vignetting = 0.0;
  double blurSigma = 0.0;
  double motionBlurLength = 0.0;
  double motionBlurAngle = 0.0;  // radians from the still's x axis toward its y axis
  double noiseSigma = 0.0;
  std::uint64_t noiseSeed = 0, noiseStream = 0;
  double gamma = 1.0;  // out = 255 · (in / 255)^gamma

  bool changesStill() const;
};

// Camera `camera`'s effects in the shoot of the rig drawn from `rigSeed`. A re-shoot adds an
// exposure factor in [0.7, 1.3] and a gamma in [0.8, 1.25] (uniform in its logarithm); a gain
// range multiplies the exposure by a gain drawn from a stream of its own.
StillEffects drawStillEffects(const ShootOptions& shoot, std::uint64_t rigSeed, int camera);

// The still after the effects, in this order: contrast and vignetting (inside the lens' image
// circle; outside it stays black), exposure, Gaussian blur, motion blur, noise, gamma, rounding to 8 bits.
// Returns `still` itself when changesStill() is false.
cv::Mat applyStillEffects(const cv::Mat& still, const RenderedLens& lens, const StillEffects& effects);

}  // namespace ringcalib::synth
