// Feeds arbitrary bytes to the parameter-file loader and the camera-parameter reader, then
// checks that the document writes back to text that reads and writes back to the same bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "calibration/compact_json.h"
#include "calibration/extrinsic_calibration.h"
#include "calibration/parameter_file.h"
#include "core/result_code.h"

namespace {

const std::string& inputPath() {
  static const std::string path = "/tmp/ringcalib-fuzz-" + std::to_string(::getpid()) + ".json";
  return path;
}

// The loader reports on std::cout; a fuzzing run has no use for those lines.
void silenceStandardOutput() {
  static std::ostringstream sink;
  std::cout.rdbuf(sink.rdbuf());
  sink.str("");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  silenceStandardOutput();
  {
    std::ofstream out(inputPath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  ExtrinsicCalibration job;
  std::ifstream in;
  const int code = ringcalib::loadParameterDocument(in, inputPath(), job.document());
  if (code != ringcalib::kSuccess && code != ringcalib::kWrongVersion) return 0;

  for (int id = 0; id < 6; ++id) {
    cv::Matx33d K = cv::Matx33d::zeros();
    cv::Vec4d D(0, 0, 0, 0);
    job.readCameraParams(K, D, id);
  }

  // Fifteen significant digits survive a text round trip, so writing is idempotent.
  const std::string first = ringcalib::serializeCompact(job.document());
  const std::string second = ringcalib::serializeCompact(nlohmann::json::parse(first));
  if (first != second) __builtin_trap();
  return 0;
}
