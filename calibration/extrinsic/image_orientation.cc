// The pixel operations that bring each camera's view into the pair geometry. Every output
// pixel depends on the input alone, so splitting rows over threads gives the same bytes as
// one pass.
#include <algorithm>
#include <cstring>
#include <vector>

#include <opencv2/core.hpp>

#include "calibration/extrinsic/image_orientation.h"

namespace {

// The homography of a camera rotation about its centre: a pixel p of the rotated view
// sees the ray K^-1 p, which is R K^-1 p in the original camera, at pixel K R K^-1 p.
cv::Matx33d rotationHomography(const cv::Mat& R, const cv::Mat& K) {
  CV_Assert(R.rows == 3 && R.cols == 3 && R.type() == CV_64F);
  CV_Assert(K.rows == 3 && K.cols == 3 && K.type() == CV_64F);
  const cv::Mat H = K * R * K.inv(cv::DECOMP_LU);
  return cv::Matx33d(H);
}

// Stores a value interpolated in double: truncated toward zero, then held to 0..255
// (bilinear weights outside [0, 1] extrapolate and can leave the byte range).
uchar toByte(double value) {
  return static_cast<uchar>(std::clamp(static_cast<int>(value), 0, 255));
}

}  // namespace

namespace ringcalib::extrinsic {

void setNonZero(cv::Mat& image) {
  if (image.empty()) return;
  CV_Assert(image.depth() == CV_8U);
  const std::size_t rowBytes = static_cast<std::size_t>(image.cols) * image.elemSize();
  cv::parallel_for_(cv::Range(0, image.rows), [&](const cv::Range& rows) {
    for (int r = rows.start; r < rows.end; ++r) {
      uchar* sample = image.ptr(r);
      for (std::size_t b = 0; b < rowBytes; ++b) sample[b] = std::max<uchar>(sample[b], 1);
    }
  });
}

void rotate90(cv::Mat& image) {
  if (image.empty()) return;
  CV_Assert(image.depth() == CV_8U);
  cv::Mat result(image.cols, image.rows, image.type());
  const std::size_t pixelBytes = image.elemSize();
  const int lastSourceCol = image.cols - 1;
  // A column of the source becomes a row of the result; square tiles keep both the reads
  // and the writes of one tile within the cache.
  constexpr int kTile = 64;
  const int tileRows = (result.rows + kTile - 1) / kTile;
  cv::parallel_for_(cv::Range(0, tileRows), [&](const cv::Range& tiles) {
    for (int tile = tiles.start; tile < tiles.end; ++tile) {
      const int r0 = tile * kTile;
      const int r1 = std::min(r0 + kTile, result.rows);
      for (int k0 = 0; k0 < result.cols; k0 += kTile) {
        const int k1 = std::min(k0 + kTile, result.cols);
        for (int r = r0; r < r1; ++r) {
          uchar* out = result.ptr(r) + k0 * pixelBytes;
          const std::size_t sourceOffset = (lastSourceCol - r) * pixelBytes;
          if (pixelBytes == 1) {  // the grey views: a byte per pixel, no copy call
            for (int k = k0; k < k1; ++k) *out++ = image.ptr(k)[sourceOffset];
            continue;
          }
          for (int k = k0; k < k1; ++k, out += pixelBytes) {
            std::memcpy(out, image.ptr(k) + sourceOffset, pixelBytes);
          }
        }
      }
    }
  });
  image = result;
}

void rotateImage(cv::Mat& image, cv::Mat R, cv::Mat K) {
  rotateImageColumns(image, R, K, cv::Range(0, image.cols));
}

void rotateImageColumns(cv::Mat& image, const cv::Mat& R, const cv::Mat& K,
                        const cv::Range& columns) {
  const cv::Matx33d H = rotationHomography(R, K);
  if (image.empty()) return;
  CV_Assert(image.depth() == CV_8U);
  CV_Assert(0 <= columns.start && columns.start <= columns.end && columns.end <= image.cols);
  cv::Mat result = cv::Mat::zeros(image.size(), image.type());
  const int channels = static_cast<int>(image.elemSize());
  const double lastCol = image.cols - 1;
  const double lastRow = image.rows - 1;
  cv::parallel_for_(cv::Range(0, image.rows), [&](const cv::Range& rows) {
    // The source positions of one row first: a branch-free loop of divisions that the
    // compiler can vectorise, each value computed exactly as in the per-pixel formula.
    std::vector<double> us(columns.size());
    std::vector<double> vs(columns.size());
    for (int y = rows.start; y < rows.end; ++y) {
      for (int x = columns.start; x < columns.end; ++x) {
        const double w = H(2, 0) * x + H(2, 1) * y + H(2, 2);
        us[x - columns.start] = (H(0, 0) * x + H(0, 1) * y + H(0, 2)) / w;
        vs[x - columns.start] = (H(1, 0) * x + H(1, 1) * y + H(1, 2)) / w;
      }
      uchar* out = result.ptr(y) + columns.start * channels;
      for (int k = 0; k < columns.size(); ++k, out += channels) {
        const double u = us[k];
        const double v = vs[k];
        // Truncation toward zero lands in [0, size - 2] exactly when -1 < u < cols - 1
        // (and likewise for v); testing the double first also keeps infinities and NaN
        // (w = 0) out of the integer conversion.
        if (!(u > -1.0 && u < lastCol && v > -1.0 && v < lastRow)) continue;
        const int iu = static_cast<int>(u);
        const int iv = static_cast<int>(v);
        const double fu = u - iu;
        const double fv = v - iv;
        const uchar* top = image.ptr(iv) + iu * channels;
        const uchar* bottom = image.ptr(iv + 1) + iu * channels;
        for (int ch = 0; ch < channels; ++ch) {
          const double value = top[ch] * (1 - fu) * (1 - fv) + top[channels + ch] * (1 - fv) * fu +
                               bottom[ch] * fv * (1 - fu) + bottom[channels + ch] * fv * fu;
          out[ch] = toByte(value);
        }
      }
    }
  });
  image = result;
}

void rotatePoints(cv::Mat R, std::vector<cv::Point2f>& points,
                  const cv::Mat& K) {
  const cv::Matx33d H = rotationHomography(R, K);
  for (cv::Point2f& p : points) {
    const double x = p.x;
    const double y = p.y;
    const double w = H(2, 0) * x + H(2, 1) * y + H(2, 2);
    p = cv::Point2f(static_cast<float>((H(0, 0) * x + H(0, 1) * y + H(0, 2)) / w),
                    static_cast<float>((H(1, 0) * x + H(1, 1) * y + H(1, 2)) / w));
  }
}

}  // namespace ringcalib::extrinsic
