#include "export/still_size.h"

#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>
#include <sys/stat.h>

#include <opencv2/imgcodecs.hpp>

namespace ringcalib::exporting {

namespace {

struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

// The library's errors end the read instead of the process; nothing it reports is printed.
void leave(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }
void quiet(j_common_ptr, int) {}

// Only plain C objects live across the jump.
cv::Size jpegHeaderSize(std::FILE* file) {
  jpeg_decompress_struct info;
  JpegErrors errors;
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = leave;
  errors.manager.emit_message = quiet;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return {};
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  const cv::Size size(static_cast<int>(info.image_width), static_cast<int>(info.image_height));
  jpeg_destroy_decompress(&info);
  return size;
}

}  // namespace

cv::Size stillSize(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return {};
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return {};
  const cv::Size size = jpegHeaderSize(file.get());
  if (!size.empty()) return size;
  // The jobs read any image format the library knows under the name origin_<n>.jpg.
  return cv::imread(path, cv::IMREAD_UNCHANGED).size();
}

}  // namespace ringcalib::exporting
