// Feeds arbitrary bytes to the parameter-file loader and the camera readers, then
// checks that the document writes back to text that reads and writes back to the same bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "core/result_code.h"
#include "rig/compact_json.h"
#include "rig/parameter_document.h"
#include "rig/ring.h"

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

  ringcalib::rig::ParameterDocument document;
  std::ifstream in;
  const int code = document.load(in, inputPath());
  if (code != ringcalib::kSuccess && code != ringcalib::kWrongVersion) return 0;

  for (int id = 0; id < ringcalib::rig::kCameras; ++id) {
    ringcalib::rig::FisheyeCamera camera;
    document.findCamera(id, camera);
    ringcalib::rig::PairPose pose;
    document.findPose(id, pose);
    try {
      document.camera(id);
    } catch (const nlohmann::json::exception&) {
      // the job's reading stops here with code 4
    }
  }

  // Fifteen significant digits survive a text round trip, so writing is idempotent.
  const std::string first = document.text();
  const std::string second = ringcalib::serializeCompact(nlohmann::json::parse(first));
  if (first != second) __builtin_trap();
  return 0;
}
