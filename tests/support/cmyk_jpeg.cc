#include "tests/support/cmyk_jpeg.h"

#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace ringcalib::test {

std::string encodeCmykJpeg(const cv::Mat& bgr) {
  CV_Assert(bgr.type() == CV_8UC3);
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(bgr.cols), info.image_height = static_cast<JDIMENSION>(bgr.rows);
  info.input_components = 4, info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);  // CMYK in, CMYK stored, with the Adobe marker
  jpeg_set_quality(&info, 100, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> row(4 * static_cast<std::size_t>(bgr.cols));
  for (int y = 0; y < bgr.rows; ++y) {
    const cv::Vec3b* pixels = bgr.ptr<cv::Vec3b>(y);
    // Inverted: C carries the red level, M the green, Y the blue; K = 255 is no black ink.
    for (int x = 0; x < bgr.cols; ++x) {
      row[4 * x] = pixels[x][2], row[4 * x + 1] = pixels[x][1], row[4 * x + 2] = pixels[x][0], row[4 * x + 3] = 255;
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string bytes(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return bytes;
}

}  // namespace ringcalib::test
