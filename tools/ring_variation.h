#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace ringcalib::synth {

// A closed interval [low, high]; a single value is the interval [v, v].
struct ValueRange {
  double low = 0.0, high = 0.0;
};

// Draws a value uniformly from `range` with stream `stream` of `seed` (exactly `low` when the
// interval is a single value).
double drawFromRange(const ValueRange& range, std::uint64_t seed, std::uint64_t stream);

// How a drawn ring departs from the standard one; unset members keep the standard ring, draw
// for draw.
struct RingVariation {
  // Distance of the cameras from the ring's centre, drawn once per rig (standard: 0.15 m).
  std::optional<ValueRange> radiusMetres;
  // Each camera's deviation from the ideal ring: a turn by an angle drawn from this interval
  // about the standard draw's random axis (standard: 0.6° per axis, about 1° in all).
  std::optional<ValueRange> turnDegrees;
};

// The ring's radius in metres for `seed`: 0.15 unless varied.
double ringRadius(std::uint64_t seed, const RingVariation& variation);

}  // namespace ringcalib::synth
