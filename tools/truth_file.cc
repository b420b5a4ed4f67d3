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
    if (!cameras.is_array() || !pairs.is_array() || cameras.size() < 3 || cameras.size() > 8 ||
        pairs.size() != cameras.size())
      throw std::runtime_error("expected 3 to 8 cameras and as many pairs");
    return read(doc, cameras, pairs);
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
  doc["pairs"] = pairEntries(truth.pairs, geometric);
  if (truth.posesInCameraFrames) doc[kPoseFrameMember] = kCameraPoseFrame;
  doc.update(variant);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << doc.dump(2) << '\n';
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

json pairEntries(const std::vector<PairTruth>& pairs, const GeometricPairs& geometric) {
  json entries = json::array();
  for (size_t n = 0; n < pairs.size(); ++n) {
    entries.push_back({{"first", n},
                       {"second", (n + 1) % pairs.size()},
                       {"R", toArray(toVec(pairs[n].R))},
                       {"t", toArray(pairs[n].t)},
                       {"geometric_R", toArray(toVec(geometric[n].R))},
                       {"geometric_t", toArray(geometric[n].t)}});
  }
  return entries;
}

RigTruth readTruthFile(const std::string& path) {
  return readDocument(path, [](const json& doc, const json& cameras, const json& pairs) {
    RigTruth truth;
    truth.cameras.resize(cameras.size());
    truth.pairs.resize(pairs.size());
    const cv::Vec2d videoSize = fromArray<2>(doc, "video_size");
    for (size_t n = 0; n < truth.cameras.size(); ++n) {
      truth.cameras[n].K = toMatx(fromArray<9>(cameras[n], "K"));
      truth.cameras[n].D = fromArray<4>(cameras[n], "D");
      truth.cameras[n].frameSize = cv::Size(static_cast<int>(videoSize[0]), static_cast<int>(videoSize[1]));
      truth.pairs[n].R = toMatx(fromArray<9>(pairs[n], "R"));
      truth.pairs[n].t = fromArray<3>(pairs[n], "t");
    }
    truth.posesInCameraFrames = doc.value(kPoseFrameMember, "") == std::string(kCameraPoseFrame);
    return truth;
  });
}

GeometricPairs readGeometricPairs(const std::string& path) {
  return readDocument(path, [](const json&, const json&, const json& pairs) {
    GeometricPairs geometric(pairs.size());
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
