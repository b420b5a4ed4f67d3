#pragma once

#include <cmath>

#include <opencv2/core.hpp>

#include "tools/rendered_lens.h"

namespace ringcalib::synth {

// The ray RenderedLens::unproject gives for every pixel of a frame, and for the rows just
// above and below it, computed once for a video: all its frames unproject the same pixels,
// and the lens' iterative inverse took a quarter of the rendering time. The rays are the
// same doubles, so the frames are the same bytes. 24 bytes a pixel (185 MB at 3200 x 2400).
class PixelRays {
 public:
  PixelRays(const RenderedLens& lens, cv::Size size);

  // The ray of pixel (x, y), 0 <= x < width, -1 <= y <= height; false outside the lens'
  // image circle or beyond its field stop.
  bool at(int x, int y, cv::Vec3d& ray) const {
    ray = rays_(y + 1, x);
    return !std::isnan(ray[0]);
  }

 private:
  cv::Mat_<cv::Vec3d> rays_;
};

}  // namespace ringcalib::synth
