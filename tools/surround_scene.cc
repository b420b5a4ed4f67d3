#include "tools/surround_scene.h"

#include <cmath>
#include <limits>

namespace ringcalib::synth {
namespace {

constexpr std::uint64_t kSceneStream = 500;
constexpr std::uint64_t kTextureStream = 600;
constexpr double kFloorY = -1.4;
constexpr double kCeilingY = 1.6;
constexpr double kRoomHalfExtent = 10.0;
constexpr int kWalls = 7;
constexpr int kPanels = 8;
constexpr double kWallTexel = 0.004;
constexpr double kFloorTexel = 0.006;
constexpr std::uint64_t kFurnitureStream = 520;
constexpr int kFurniture = 7;

cv::Vec3d horizontal(double azimuth) { return {std::sin(azimuth), 0.0, std::cos(azimuth)}; }

}  // namespace

void SurroundScene::addSurface(const cv::Vec3d& origin, const cv::Vec3d& axisU, const cv::Vec3d& axisV, double width,
                               double height, double texelMetres) {
  Surface surface{origin, axisU, axisV, axisU.cross(axisV), width, height, texelMetres, std::nullopt};
  if (textured_) {
    RandomStream random(seed_, kTextureStream + surfaces_.size());
    const cv::Size size(static_cast<int>(std::ceil(width / texelMetres)) + 1,
                        static_cast<int>(std::ceil(height / texelMetres)) + 1);
    const double mean = random.uniform(70.0, 185.0);
    if (photos_) {
      surface.texture.emplace(photos_->surface(random, size, texelMetres, mean));
    } else {
      const double contrast = random.uniform(25.0, 45.0);
      surface.texture.emplace(random, size, texelMetres, mean, contrast);
    }
  }
  surfaces_.push_back(std::move(surface));
}

void SurroundScene::addBox(const cv::Vec3d& footCentre, double turn, double width, double depth, double height,
                           double texelMetres) {
  const cv::Vec3d along = horizontal(turn), across = horizontal(turn + CV_PI / 2.0), up(0, 1, 0);
  const cv::Vec3d corner = footCentre - 0.5 * width * along - 0.5 * depth * across;
  addSurface(corner, along, up, width, height, texelMetres);
  addSurface(corner + depth * across, along, up, width, height, texelMetres);
  addSurface(corner, across, up, depth, height, texelMetres);
  addSurface(corner + width * along, across, up, depth, height, texelMetres);
  addSurface(corner + height * up, along, across, width, depth, texelMetres);
}

SurroundScene::SurroundScene(std::uint64_t seed, double texelScale, bool textured, const SceneLook& look)
    : seed_(seed), textured_(textured) {
  if (textured && !look.photoFolder.empty()) photos_.emplace(look.photoFolder);
  RandomStream random(seed, kSceneStream);
  const double wallTexel = kWallTexel * texelScale;
  const double floorTexel = kFloorTexel * texelScale;
  const double side = 2.0 * kRoomHalfExtent;
  addSurface({-kRoomHalfExtent, kFloorY, -kRoomHalfExtent}, {1, 0, 0}, {0, 0, 1}, side, side, floorTexel);
  addSurface({-kRoomHalfExtent, kCeilingY, -kRoomHalfExtent}, {1, 0, 0}, {0, 0, 1}, side, side, floorTexel);

  // Walls between the corners of a room that is star-shaped about the ring.
  std::vector<cv::Vec3d> corners;
  for (int k = 0; k < kWalls; ++k) {
    const double azimuth = 2.0 * CV_PI * k / kWalls + random.uniform(-0.2, 0.2);
    corners.push_back(random.uniform(3.5, 8.0) * horizontal(azimuth) + cv::Vec3d(0.0, kFloorY, 0.0));
  }
  for (int k = 0; k < kWalls; ++k) {
    const cv::Vec3d& a = corners[static_cast<size_t>(k)];
    const cv::Vec3d& b = corners[static_cast<size_t>((k + 1) % kWalls)];
    addSurface(a, cv::normalize(b - a), {0, 1, 0}, cv::norm(b - a), kCeilingY - kFloorY, wallTexel);
  }

  // Free-standing panels roughly facing the ring, turned and tilted.
  for (int k = 0; k < kPanels; ++k) {
    const double azimuth = 2.0 * CV_PI * (k + random.uniform(0.0, 1.0)) / kPanels;
    const double turn = azimuth + CV_PI / 2.0 + random.uniform(-0.6, 0.6);
    const double tilt = random.uniform(-0.25, 0.25);
    const cv::Vec3d axisU = horizontal(turn);
    const cv::Vec3d axisV = std::cos(tilt) * cv::Vec3d(0, 1, 0) + std::sin(tilt) * axisU.cross(cv::Vec3d(0, 1, 0));
    const double width = random.uniform(0.8, 2.0), height = random.uniform(0.8, 2.0);
    const cv::Vec3d centre = random.uniform(2.0, 3.2) * horizontal(azimuth) + cv::Vec3d(0.0, random.uniform(-0.8, 0.8), 0.0);
    addSurface(centre - 0.5 * width * axisU - 0.5 * height * axisV, axisU, axisV, width, height, wallTexel);
  }

  // Furniture near the ring, drawn from a stream of its own so that the room stays as it is:
  // its edges occlude the room at depths that differ by metres.
  if (!look.nearFurniture) return;
  RandomStream furniture(seed, kFurnitureStream);
  for (int k = 0; k < kFurniture; ++k) {
    const double azimuth = 2.0 * CV_PI * (k + furniture.uniform(0.0, 1.0)) / kFurniture;
    const double turn = azimuth + CV_PI / 2.0 + furniture.uniform(-0.5, 0.5);
    const double width = furniture.uniform(0.4, 1.2), depth = furniture.uniform(0.3, 0.8);
    const double height = furniture.uniform(0.4, 1.9);
    const double distance = furniture.uniform(1.4, 2.6) + 0.5 * depth;
    addBox(distance * horizontal(azimuth) + cv::Vec3d(0.0, kFloorY, 0.0), turn, width, depth, height, wallTexel);
  }
}

SceneHit SurroundScene::cast(const cv::Vec3d& origin, const cv::Vec3d& direction) const {
  SceneHit best;
  best.distance = std::numeric_limits<double>::infinity();
  for (size_t k = 0; k < surfaces_.size(); ++k) {
    const Surface& s = surfaces_[k];
    const double denom = direction.dot(s.normal);
    if (std::abs(denom) < 1e-12) continue;
    const double distance = (s.origin - origin).dot(s.normal) / denom;
    if (distance <= 1e-9 || distance >= best.distance) continue;
    const cv::Vec3d local = origin + distance * direction - s.origin;
    const double a = local.dot(s.axisU), b = local.dot(s.axisV);
    if (a < 0.0 || a > s.width || b < 0.0 || b > s.height) continue;
    best = {static_cast<int>(k), distance, a / s.texelMetres, b / s.texelMetres, std::abs(denom)};
  }
  if (best.surface < 0) best.distance = 0.0;
  return best;
}

float SurroundScene::shade(const SceneHit& hit, double footprintMetres) const {
  const Surface& s = surfaces_[static_cast<size_t>(hit.surface)];
  return s.texture->sample(hit.u, hit.v, footprintMetres / s.texelMetres);
}

}  // namespace ringcalib::synth
