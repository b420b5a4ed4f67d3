#include "tools/still_renderer.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "tools/rolling_rows.h"

namespace ringcalib::synth {
namespace {

constexpr int kSubsamples = 4;  // per axis, on pixels where surfaces meet

// The world ray of one pixel and what it meets; `valid` is false outside the image circle.
struct PixelCast {
  bool valid = false;
  cv::Vec3d ray;
  SceneHit hit;
};

class StillCaster {
 public:
  StillCaster(const RenderedLens& lens, const RingCamera& camera, const SurroundScene& scene)
      : lens_(lens), sensorToWorld_(camera.worldToSensor().t()), centre_(camera.centre), scene_(scene) {}

  PixelCast cast(double x, double y) const {
    PixelCast c;
    cv::Vec3d sensorRay;
    if (!lens_.unproject(x, y, sensorRay)) return c;
    c.valid = true;
    c.ray = sensorToWorld_ * sensorRay;
    c.hit = scene_.cast(centre_, c.ray);
    return c;
  }

  // Value seen along a cast whose pixel spans `pixelAngle` radians: the footprint on the
  // surface grows with the distance and with the obliquity of the surface.
  float shade(const PixelCast& c, double pixelAngle) const {
    if (!c.valid || c.hit.surface < 0) return 0.0f;
    return scene_.shade(c.hit, c.hit.distance * pixelAngle / std::max(c.hit.cosIncidence, 0.05));
  }

  void castRow(int y, int width, std::vector<PixelCast>& out) const {
    out.resize(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) out[static_cast<size_t>(x)] = cast(x, y);
  }

 private:
  const RenderedLens& lens_;
  cv::Matx33d sensorToWorld_;
  cv::Vec3d centre_;
  const SurroundScene& scene_;
};

// Angle between the rays of two neighbours, or 0 when one lies outside the image circle.
double rayAngle(const PixelCast& a, const PixelCast& b) {
  return a.valid && b.valid ? cv::norm(a.ray - b.ray) : 0.0;
}

}  // namespace

cv::Mat renderStill(const RenderedLens& lens, const RingCamera& camera, const SurroundScene& scene, cv::Size size) {
  cv::Mat still(size, CV_8UC1);
  const StillCaster caster(lens, camera, scene);
  cv::parallel_for_(cv::Range(0, size.height), [&](const cv::Range& rows) {
    RollingRows<PixelCast, std::function<void(int, std::vector<PixelCast>&)>> casts(
        [&](int y, std::vector<PixelCast>& out) { caster.castRow(y, size.width, out); });
    for (int y = rows.start; y < rows.end; ++y) {
      casts.moveTo(y);
      uchar* out = still.ptr<uchar>(y);
      for (int x = 0; x < size.width; ++x) {
        const size_t i = static_cast<size_t>(x);
        const PixelCast& c = casts.current()[i];
        const PixelCast& left = casts.current()[x > 0 ? i - 1 : i];
        const PixelCast& right = casts.current()[x + 1 < size.width ? i + 1 : i];
        const PixelCast& up = casts.above()[i];
        const PixelCast& down = casts.below()[i];
        // Angular size of the pixel: the larger of its two central differences.
        const double pixelAngle = std::max(rayAngle(left, right) / (x > 0 && x + 1 < size.width ? 2.0 : 1.0),
                                           0.5 * rayAngle(up, down));
        bool edge = false;
        for (const PixelCast* n : {&left, &right, &up, &down})
          edge = edge || n->valid != c.valid || n->hit.surface != c.hit.surface;
        if (!edge) {
          out[x] = cv::saturate_cast<uchar>(caster.shade(c, pixelAngle));
          continue;
        }
        double sum = 0.0;
        for (int sy = 0; sy < kSubsamples; ++sy) {
          for (int sx = 0; sx < kSubsamples; ++sx) {
            const PixelCast sub = caster.cast(x + (sx + 0.5) / kSubsamples - 0.5, y + (sy + 0.5) / kSubsamples - 0.5);
            sum += caster.shade(sub, pixelAngle / kSubsamples);
          }
        }
        out[x] = cv::saturate_cast<uchar>(sum / (kSubsamples * kSubsamples));
      }
    }
  });
  return still;
}

}  // namespace ringcalib::synth
