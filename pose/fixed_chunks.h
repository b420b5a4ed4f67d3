#pragma once

#include <algorithm>
#include <cstddef>

#include <opencv2/core.hpp>

namespace ringcalib {

// Per-point loops are cut into chunks whose boundaries depend only on the number of points,
// never on the number of threads. Each chunk is processed in point order and partial sums
// are combined in chunk order, so results are the same bits on any machine load.
constexpr size_t kPointsPerChunk = 4096;

inline size_t chunkCount(size_t points) {
  return (points + kPointsPerChunk - 1) / kPointsPerChunk;
}

// Calls body(chunk, begin, end) once for every chunk of [0, points), on OpenCV's workers.
template <typename Body>
void forEachChunk(size_t points, const Body& body) {
  const int chunks = static_cast<int>(chunkCount(points));
  cv::parallel_for_(cv::Range(0, chunks), [&](const cv::Range& range) {
    for (int chunk = range.start; chunk < range.end; ++chunk) {
      const size_t begin = static_cast<size_t>(chunk) * kPointsPerChunk;
      body(static_cast<size_t>(chunk), begin, std::min(points, begin + kPointsPerChunk));
    }
  });
}

}  // namespace ringcalib
