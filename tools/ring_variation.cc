#include "tools/ring_variation.h"

#include "tools/random_stream.h"

namespace ringcalib::synth {
namespace {

constexpr double kStandardRadius = 0.15;
constexpr std::uint64_t kRadiusStream = 700;  // a stream of its own: the rest of the ring's draw stays

}  // namespace

double drawFromRange(const ValueRange& range, std::uint64_t seed, std::uint64_t stream) {
  if (range.low == range.high) return range.low;
  RandomStream random(seed, stream);
  return random.uniform(range.low, range.high);
}

double ringRadius(std::uint64_t seed, const RingVariation& variation) {
  return variation.radiusMetres ? drawFromRange(*variation.radiusMetres, seed, kRadiusStream) : kStandardRadius;
}

}  // namespace ringcalib::synth
