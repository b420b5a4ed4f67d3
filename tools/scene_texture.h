#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "tools/random_stream.h"

namespace ringcalib::synth {

// A grey texture with its mipmap pyramid (each level the Gaussian pyramid reduction of the
// one before), sampled trilinearly so that a pixel that covers many texels sees their average
// instead of an alias.
class SceneTexture {
 public:
  // Multi-scale texture of `size` texels of `texelMetres` each: value noise summed over octaves
  // from 2 texels to metres, plus shapes (discs, rotated rectangles, strokes) from 2 cm to 60 cm
  // drawn with anti-aliased edges, around the grey `mean` with spread `contrast`.
  SceneTexture(RandomStream& random, cv::Size size, double texelMetres, double mean, double contrast);
  // A texture of the given texels (at least 8 × 8).
  explicit SceneTexture(const cv::Mat1b& base);

  // Value at texel position (u, v) of level 0, averaged over a footprint of `footprint` texels.
  float sample(double u, double v, double footprint) const;

  cv::Size size() const { return levels_.front().size(); }

 private:
  float bilinear(int level, double u, double v) const;
  std::vector<cv::Mat1b> levels_;
};

}  // namespace ringcalib::synth
