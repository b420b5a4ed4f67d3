#include "tools/pixel_rays.h"

#include <limits>

namespace ringcalib::synth {

PixelRays::PixelRays(const RenderedLens& lens, cv::Size size) : rays_(size.height + 2, size.width) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  cv::parallel_for_(cv::Range(0, rays_.rows), [&](const cv::Range& rows) {
    for (int r = rows.start; r < rows.end; ++r) {
      cv::Vec3d* out = rays_[r];
      for (int x = 0; x < size.width; ++x) {
        if (!lens.unproject(x, r - 1, out[x])) out[x] = cv::Vec3d(nan, nan, nan);
      }
    }
  });
}

}  // namespace ringcalib::synth
