#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "tools/random_stream.h"

namespace ringcalib::synth {

// Grey photographs to texture a scene with, as real rooms are: posters and pictures with
// strong edges and large smooth areas, tiled patterns that repeat, painted plaster between.
class PhotoSet {
 public:
  // Every .jpg, .jpeg, .png, .bmp and .tif of `folder`, in name order, as grey images.
  // Throws std::runtime_error naming the folder when it holds none that can be read.
  explicit PhotoSet(const std::string& folder);

  // A surface of `size` texels of `texelMetres` each: plaster around the grey `mean` that
  // changes only over metres, with photographs 0.3 to 1.6 m wide hung on it (each at its
  // own exposure) and, on some surfaces, one crop repeated as tiles of 0.15 to 0.5 m.
  cv::Mat1b surface(RandomStream& random, cv::Size size, double texelMetres, double mean) const;

 private:
  std::vector<cv::Mat1b> photos_;
};

}  // namespace ringcalib::synth
