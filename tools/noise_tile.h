#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

namespace ringcalib::synth {

// Sensor noise for whole frames at the cost of a table look-up: a tile of Gaussian samples
// (standard deviation 1), read at a per-frame offset. The tile's odd, prime size keeps its
// repetition from lining up with the frame's rows or with the codec's 8 × 8 blocks.
class NoiseTile {
 public:
  explicit NoiseTile(std::uint64_t seed);

  // The noise of row y of the frame identified by frameKey: pixel x reads
  // values[(start + x) % kSize], so a row is read by stepping through the tile's row and
  // wrapping, without a division per pixel.
  struct Row {
    const float* values;
    int start;
  };
  Row row(int y, std::uint64_t frameKey) const {
    const std::uint64_t shift = frameKey % (static_cast<std::uint64_t>(kSize) * kSize);
    const int sx = static_cast<int>(shift % kSize), sy = static_cast<int>(shift / kSize);
    return {tile_[(y + sy) % kSize], sx};
  }

  static constexpr int kSize = 1021;

 private:
  cv::Mat1f tile_;
};

}  // namespace ringcalib::synth
