#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "tools/photo_texture.h"
#include "tools/scene_texture.h"

namespace ringcalib::synth {

// Where a ray meets the scene.
struct SceneHit {
  int surface = -1;      // -1: nothing hit
  double distance = 0.0;  // along the unit ray, metres
  double u = 0.0, v = 0.0;  // texel coordinates on the surface's texture
  double cosIncidence = 1.0;
};

// What the scene is made of beyond the standard room.
struct SceneLook {
  std::string photoFolder;     // not empty: every surface textured with these photographs
  bool nearFurniture = false;  // boxes 1.4 to 2.6 m from the ring, standing on the floor
};

// A richly textured room around the ring (world frame: metres, y up): floor 1.4 m below and
// ceiling 1.6 m above the cameras, seven walls 3 to 8 m away, and eight free-standing panels
// 2 to 3.2 m away at various turns and tilts, each plane with its own multi-scale texture.
class SurroundScene {
 public:
  // texelScale multiplies the texel size (4 mm on walls and panels, 6 mm on floor and
  // ceiling), for stills of lower resolution than the default. A scene without textures serves
  // geometry only (cast); its geometry is the same. `look` adds furniture and photographs;
  // throws std::runtime_error when its photographs cannot be read.
  SurroundScene(std::uint64_t seed, double texelScale, bool textured = true, const SceneLook& look = {});

  SceneHit cast(const cv::Vec3d& origin, const cv::Vec3d& direction) const;

  // Grey value at a hit, averaged over a footprint of `footprintMetres` on the surface.
  // Needs a textured scene.
  float shade(const SceneHit& hit, double footprintMetres) const;

 private:
  struct Surface {
    cv::Vec3d origin, axisU, axisV, normal;  // axes unit length and orthogonal
    double width = 0.0, height = 0.0;        // extent along axisU and axisV, metres
    double texelMetres = 0.0;
    std::optional<SceneTexture> texture;
  };
  // Each surface's texture draws from a stream of its own, so the geometry does not depend on
  // the texel size.
  void addSurface(const cv::Vec3d& origin, const cv::Vec3d& axisU, const cv::Vec3d& axisV, double width,
                  double height, double texelMetres);
  // A box standing on the floor: its four sides and its top.
  void addBox(const cv::Vec3d& footCentre, double turn, double width, double depth, double height,
              double texelMetres);

  std::uint64_t seed_;
  bool textured_;
  std::optional<PhotoSet> photos_;

  std::vector<Surface> surfaces_;
};

}  // namespace ringcalib::synth
