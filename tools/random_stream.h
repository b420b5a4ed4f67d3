#pragma once

#include <cstdint>

namespace ringcalib::synth {

// Deterministic random numbers that do not depend on the standard library's distributions
// (whose algorithms differ between implementations), so a seed gives the same rig everywhere.
class RandomStream {
 public:
  // Independent streams for the same seed are told apart by `stream`.
  RandomStream(std::uint64_t seed, std::uint64_t stream);

  std::uint64_t next();
  double uniform();                        // [0, 1)
  double uniform(double low, double high);  // [low, high)
  double gaussian();                       // mean 0, standard deviation 1

 private:
  std::uint64_t state_;
};

// A stateless 64-bit mix (splitmix64 finaliser), to turn counters into well-spread keys.
std::uint64_t mixBits(std::uint64_t x);

}  // namespace ringcalib::synth
