#include "tools/random_stream.h"

#include <cmath>


namespace ringcalib::synth {
namespace {

constexpr double kTwoPi = 6.283185307179586;

}  // namespace

std::uint64_t mixBits(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

RandomStream::RandomStream(std::uint64_t seed, std::uint64_t stream)
    : state_(mixBits(seed) ^ mixBits(stream * 0xD1B54A32D192ED03ull + 1)) {}

std::uint64_t RandomStream::next() {
  state_ += 0x9E3779B97F4A7C15ull;
  return mixBits(state_);
}

double RandomStream::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

double RandomStream::uniform(double low, double high) { return low + (high - low) * uniform(); }

double RandomStream::gaussian() {
  // Box-Muller; 1 − u keeps the logarithm's argument in (0, 1].
  const double u = 1.0 - uniform();
  const double v = uniform();
  return std::sqrt(-2.0 * std::log(u)) * std::cos(kTwoPi * v);
}

}  // namespace ringcalib::synth
