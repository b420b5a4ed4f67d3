#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

// Order statistics of a sample, for every module that summarises errors.
namespace ringcalib {

// The value below which a share `fraction` (0 ... 1) of `values` lies, by nearest rank:
// the element of sorted rank round(fraction * (n - 1)). NaN for an empty sample.
inline double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
  const std::size_t rank = static_cast<std::size_t>(fraction * (values.size() - 1) + 0.5);
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(rank), values.end());
  return values[rank];
}

// The upper middle value (sorted rank n / 2, the nearest-rank 50th percentile); NaN for an
// empty sample.
inline double median(std::vector<double> values) { return percentile(std::move(values), 0.5); }

}  // namespace ringcalib
