#include "tools/photo_texture.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace ringcalib::synth {
namespace {

constexpr double kPlasterCellMetres = 0.8;  // plaster shading changes over this distance
constexpr double kPlasterSpread = 6.0;      // grey levels
constexpr double kPicturesPerSquareMetre = 0.35;
constexpr double kTiledShare = 0.3;  // of the surfaces, those with a tiled pattern

bool isPhotoFile(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
  return extension == ".jpg" || extension == ".jpeg" || extension == ".png" || extension == ".bmp" ||
         extension == ".tif" || extension == ".tiff";
}

// Smooth shading of a plain surface: a coarse random grid, interpolated.
cv::Mat1f plaster(RandomStream& random, cv::Size size, double texelMetres, double mean) {
  const int cell = std::max(2, static_cast<int>(kPlasterCellMetres / texelMetres));
  cv::Mat1f grid(size.height / cell + 3, size.width / cell + 3);
  for (float& g : grid) g = static_cast<float>(mean + kPlasterSpread * random.gaussian());
  cv::Mat1f smooth;
  cv::resize(grid, smooth, cv::Size(grid.cols * cell, grid.rows * cell), 0, 0, cv::INTER_CUBIC);
  return smooth(cv::Rect(cell, cell, size.width, size.height)).clone();
}

// Pastes `picture` scaled to `width` texels with its top left at `at`, clipped to the surface.
void hang(cv::Mat1f& surface, const cv::Mat1b& picture, int width, cv::Point at, double exposure) {
  const int height = std::max(1, static_cast<int>(std::lround(width * picture.rows / double(picture.cols))));
  cv::Mat1b scaled;
  cv::resize(picture, scaled, cv::Size(width, height), 0, 0, width < picture.cols ? cv::INTER_AREA : cv::INTER_CUBIC);
  const cv::Rect placed = cv::Rect(at, scaled.size()) & cv::Rect(cv::Point(), surface.size());
  if (placed.empty()) return;
  cv::Mat1f part;
  scaled(cv::Rect(placed.tl() - at, placed.size())).convertTo(part, CV_32F, exposure);
  part.copyTo(surface(placed));
}

}  // namespace

PhotoSet::PhotoSet(const std::string& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.is_regular_file() && isPhotoFile(entry.path())) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    cv::Mat1b photo = cv::imread(file.string(), cv::IMREAD_GRAYSCALE);
    if (photo.cols >= 16 && photo.rows >= 16) photos_.push_back(photo);
  }
  if (photos_.empty()) throw std::runtime_error("no photograph to texture the scene with in " + folder);
}

cv::Mat1b PhotoSet::surface(RandomStream& random, cv::Size size, double texelMetres, double mean) const {
  cv::Mat1f texture = plaster(random, size, texelMetres, mean);
  const auto pick = [&]() -> const cv::Mat1b& {
    return photos_[std::min(photos_.size() - 1, static_cast<size_t>(random.uniform() * photos_.size()))];
  };
  if (random.uniform() < kTiledShare) {
    // A tile cut from a photograph, repeated over a band of the surface: a repeating pattern.
    const cv::Mat1b& photo = pick();
    const int side = std::min(photo.cols, photo.rows) / 2;
    const cv::Rect crop(static_cast<int>(random.uniform(0.0, photo.cols - side)),
                        static_cast<int>(random.uniform(0.0, photo.rows - side)), side, side);
    const int tile = std::max(4, static_cast<int>(random.uniform(0.15, 0.5) / texelMetres));
    const int bandTop = static_cast<int>(random.uniform(0.0, 0.5) * size.height);
    const int bandBottom = std::min(size.height, bandTop + static_cast<int>(random.uniform(0.3, 0.7) * size.height));
    const double exposure = random.uniform(0.6, 1.2);
    for (int y = bandTop; y < bandBottom; y += tile) {
      for (int x = 0; x < size.width; x += tile) hang(texture, photo(crop), tile, cv::Point(x, y), exposure);
    }
  }
  const double areaM2 = size.area() * texelMetres * texelMetres;
  const int pictures = static_cast<int>(std::lround(areaM2 * kPicturesPerSquareMetre)) + 1;
  for (int k = 0; k < pictures; ++k) {
    const cv::Mat1b& photo = pick();
    const int width = std::max(4, static_cast<int>(random.uniform(0.3, 1.6) / texelMetres));
    const cv::Point at(static_cast<int>(random.uniform(-0.2, 1.0) * size.width),
                       static_cast<int>(random.uniform(-0.2, 1.0) * size.height));
    hang(texture, photo, width, at, random.uniform(0.5, 1.3));
  }
  cv::Mat1b out;
  texture.convertTo(out, CV_8U);
  return out;
}

}  // namespace ringcalib::synth
