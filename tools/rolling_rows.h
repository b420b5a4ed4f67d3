#pragma once

#include <utility>
#include <vector>

namespace ringcalib::synth {

// Three consecutive rows of per-pixel values (above, current, below) for renderers that need
// the neighbours of each pixel: walking a stripe of rows top to bottom computes every row once
// (rows at a stripe's edges once more, with identical results, so stripes stay independent).
// computeRow(y, values) fills `values` for row y.
template <typename Value, typename ComputeRow>
class RollingRows {
 public:
  explicit RollingRows(ComputeRow computeRow) : computeRow_(std::move(computeRow)) {}

  void moveTo(int y) {
    if (y == row_ + 1) {
      std::swap(above_, current_);
      std::swap(current_, below_);
    } else {
      computeRow_(y - 1, above_);
      computeRow_(y, current_);
    }
    computeRow_(y + 1, below_);
    row_ = y;
  }

  const std::vector<Value>& above() const { return above_; }
  const std::vector<Value>& current() const { return current_; }
  const std::vector<Value>& below() const { return below_; }

 private:
  ComputeRow computeRow_;
  int row_ = -2;
  std::vector<Value> above_, current_, below_;
};

}  // namespace ringcalib::synth
