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

  // Noise of pixel (x, y) in the frame identified by frameKey.
  float at(int x, int y, std::uint64_t frameKey) const {
    const std::uint64_t shift = frameKey % (static_cast<std::uint64_t>(kSize) * kSize);
    const int sx = static_cast<int>(shift % kSize), sy = static_cast<int>(shift / kSize);
    return tile_(( y + sy) % kSize, (x + sx) % kSize);
  }

  static constexpr int kSize = 1021;

 private:
  cv::Mat1f tile_;
};

}  // namespace ringcalib::synth
