#include "tools/truth_file.h"

#include <fstream>
#include <string>
#include <vector>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace ringcalib::synth {
namespace {

using nlohmann::json;

template <int N>
json toArray(const cv::Vec<double, N>& v) {
  return json(std::vector<double>(v.val, v.val + N));
}

// `key` of `node` as N numbers; the messages name what is wrong, the caller adds the file.
template <int N>
cv::Vec<double, N> fromArray(const json& node, const char* key) {
  const json& values = node.at(key);
  if (!values.is_array() || values.size() != N)
    throw std::runtime_error(std::string("\"") + key + "\" is not a list of " + std::to_string(N) + " numbers");
  cv::Vec<double, N> v;
  for (int i = 0; i < N; ++i) v[i] = values[static_cast<size_t>(i)].get<double>();
  return v;
}

cv::Matx33d toMatx(const cv::Vec<double, 9>& v) { return cv::Matx33d(v.val); }
cv::Vec<double, 9> toVec(const cv::Matx33d& m) { return cv::Vec<double, 9>(m.val); }

// Parses the file and hands the document to `read`; every failure names the file.
template <typename Read>
auto readDocument(const std::string& path, Read read) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  try {
    const json doc = json::parse(in);
    const json& cameras = doc.at("cameras");
    const json& pairs = doc.at("pairs");
    if (cameras.size() != 6 || pairs.size() != 6) throw std::runtime_error("expected six cameras and six pairs");
    return read(cameras, pairs);
  } catch (const std::exception& e) {
    throw std::runtime_error(path + ": " + e.what());
  }
}

}  // namespace

void writeTruthFile(const std::string& path, const RigTruth& truth, const GeometricPairs& geometric,
                    const RigOptions& options, const json& variant) {
  json doc;
  doc["seed"] = options.seed;
  doc["video_size"] = {options.videoWidth, options.videoHeight};
  doc["frames_per_video"] = options.framesPerVideo;
  // Only where they depart from the standard rig, whose truth stays as it was.
  if (!options.stillSize.empty()) doc["still_size"] = {options.stillSize.width, options.stillSize.height};
  if (options.board.squares != BoardLook().squares || options.board.printed) {
    doc["board"] = {{"inner_corners", {options.board.squares.width - 1, options.board.squares.height - 1}},
                    {"printed", options.board.printed}};
  }
  for (const CameraTruth& camera : truth.cameras)
    doc["cameras"].push_back({{"K", toArray(toVec(camera.K))}, {"D", toArray(camera.D)}});
  for (size_t n = 0; n < truth.pairs.size(); ++n) {
    const PairTruth& p = truth.pairs[n];
    doc["pairs"].push_back({{"first", n},
                            {"second", (n + 1) % truth.pairs.size()},
                            {"R", toArray(toVec(p.R))},
                            {"t", toArray(p.t)},
                            {"geometric_R", toArray(toVec(geometric[n].R))},
                            {"geometric_t", toArray(geometric[n].t)}});
  }
  doc.update(variant);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << doc.dump(2) << '\n';
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

RigTruth readTruthFile(const std::string& path) {
  return readDocument(path, [](const json& cameras, const json& pairs) {
    RigTruth truth;
    for (size_t n = 0; n < truth.cameras.size(); ++n) {
      truth.cameras[n].K = toMatx(fromArray<9>(cameras[n], "K"));
      truth.cameras[n].D = fromArray<4>(cameras[n], "D");
      truth.pairs[n].R = toMatx(fromArray<9>(pairs[n], "R"));
      truth.pairs[n].t = fromArray<3>(pairs[n], "t");
    }
    return truth;
  });
}

GeometricPairs readGeometricPairs(const std::string& path) {
  return readDocument(path, [](const json&, const json& pairs) {
    GeometricPairs geometric;
    for (size_t n = 0; n < geometric.size(); ++n)
      geometric[n] = {toMatx(fromArray<9>(pairs[n], "geometric_R")), fromArray<3>(pairs[n], "geometric_t")};
    return geometric;
  });
}

rig::ParameterDocument truthParameterDocument(const RigTruth& truth) {
  rig::ParameterDocument document;
  document.setVersion();
  for (std::size_t n = 0; n < truth.cameras.size(); ++n) document.setCamera(static_cast<int>(n), truth.cameras[n]);
  return document;
}

}  // namespace ringcalib::synth
