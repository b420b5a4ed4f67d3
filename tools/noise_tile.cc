#include "tools/noise_tile.h"

#include "tools/random_stream.h"

namespace ringcalib::synth {

NoiseTile::NoiseTile(std::uint64_t seed) : tile_(kSize, kSize) {
  RandomStream random(seed, 300);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) tile_(y, x) = static_cast<float>(random.gaussian());
}

}  // namespace ringcalib::synth
