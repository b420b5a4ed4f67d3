#include "rig/parameter_document.h"

#include <sys/stat.h>

#include <cstdint>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "core/result_code.h"
#include "rig/compact_json.h"
#include "rig/file_writer.h"

namespace ringcalib::rig {
namespace {

using nlohmann::json;

// The file's members:
//   {"origin_<n>": {"camera_matrix": {"x": fx, "y": fy, "z": cx, "w": cy},
//                   "distortion_factor": {"x": k1, "y": k2, "z": k3, "w": k4},
//                   "frame_size": {"width": W, "height": H},  (only when not 3200 x 2400)
//                   "extrinsic_param": {"R00": ..., "R22": ..., "T00": ..., "T10": ..., "T20": ...}},
//    ..., "pose_frame": "camera" (only for a layout other than the standard rig's), "version": 1}

constexpr const char* kVersion = "version";
constexpr const char* kMatrix = "camera_matrix";
constexpr const char* kDistortion = "distortion_factor";
constexpr const char* kPose = "extrinsic_param";
constexpr const char* kFrameSize = "frame_size";
constexpr const char* kPoseFrame = "pose_frame";
constexpr const char* kCameraFrames = "camera";

std::string rotationKey(int row, int col) { return "R" + std::to_string(row) + std::to_string(col); }
std::string translationKey(int row) { return "T" + std::to_string(row) + "0"; }

// node[key] as a number, or false when absent or not a number.
bool numberAt(const json& node, const std::string& key, double& value) {
  if (!node.is_object()) return false;
  const auto it = node.find(key);
  if (it == node.end() || !it->is_number()) return false;
  value = it->get<double>();
  return true;
}

const json* member(const json& node, const std::string& key) {
  if (!node.is_object()) return nullptr;
  const auto it = node.find(key);
  return it == node.end() ? nullptr : &*it;
}

}  // namespace

std::string ParameterDocument::cameraKey(int n) { return "origin_" + std::to_string(n); }

int ParameterDocument::load(std::ifstream& in, const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::cout << "Can not read camera parameter file : " << path << " is a directory" << std::endl;
    return kCannotOpen;
  }
  in.open(path, std::ios::in | std::ios::binary);
  if (!in.is_open()) return kCannotOpen;

  std::int64_t version = 0;
  try {
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0) return kBadParameterFile;
    in.seekg(0, std::ios::beg);
    // One zero byte more than the file: the text ends at the first NUL, as a C string.
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
    in.read(buffer.data(), size);
    document_ = json::parse(buffer.data());
    version = readInteger(document_[kVersion]);
  } catch (const std::exception& e) {
    std::cout << "read version failed : " << e.what() << std::endl;
    in.close();
    return kBadParameterFile;
  }
  if (version != 1) return kWrongVersion;
  return kSuccess;
}

void ParameterDocument::setVersion() { document_[kVersion] = 1; }

FisheyeCamera ParameterDocument::camera(int n) {
  FisheyeCamera camera{cv::Matx33d::zeros(), cv::Vec4d::all(0.0)};
  json& entry = document_[cameraKey(n)];
  json& matrix = entry[kMatrix];
  camera.K(0, 0) = readNumber(matrix["x"]);
  camera.K(1, 1) = readNumber(matrix["y"]);
  camera.K(0, 2) = readNumber(matrix["z"]);
  camera.K(1, 2) = readNumber(matrix["w"]);
  camera.K(2, 2) = 1.0;
  json& distortion = entry[kDistortion];
  camera.D[0] = readNumber(distortion["x"]);
  camera.D[1] = readNumber(distortion["y"]);
  camera.D[2] = readNumber(distortion["z"]);
  camera.D[3] = readNumber(distortion["w"]);
  camera.frameSize = frameSize(n);
  return camera;
}

cv::Size ParameterDocument::frameSize(int n) const {
  const json* entry = member(document_, cameraKey(n));
  const json* size = entry == nullptr ? nullptr : member(*entry, kFrameSize);
  if (size == nullptr) return kStandardFrameSize;
  const json* width = member(*size, "width");
  const json* height = member(*size, "height");
  constexpr int kLargest = 1 << 16;
  const auto valid = [](const json* value) {
    return value != nullptr && value->is_number_integer() && value->get<std::int64_t>() > 0 &&
           value->get<std::int64_t>() <= kLargest;
  };
  if (!valid(width) || !valid(height)) {
    throw std::runtime_error(cameraKey(n) + "." + kFrameSize +
                             " is not a width and a height in whole pixels");
  }
  return cv::Size(width->get<int>(), height->get<int>());
}

bool ParameterDocument::findCamera(int n, FisheyeCamera& camera) const {
  const json* entry = member(document_, cameraKey(n));
  if (entry == nullptr) return false;
  const json* matrix = member(*entry, kMatrix);
  const json* distortion = member(*entry, kDistortion);
  if (matrix == nullptr || distortion == nullptr) return false;
  camera.K = cv::Matx33d::eye();
  cv::Vec4d& D = camera.D;
  try {
    camera.frameSize = frameSize(n);
  } catch (const std::runtime_error&) {
    return false;
  }
  return numberAt(*matrix, "x", camera.K(0, 0)) && numberAt(*matrix, "y", camera.K(1, 1)) &&
         numberAt(*matrix, "z", camera.K(0, 2)) && numberAt(*matrix, "w", camera.K(1, 2)) &&
         numberAt(*distortion, "x", D[0]) && numberAt(*distortion, "y", D[1]) &&
         numberAt(*distortion, "z", D[2]) && numberAt(*distortion, "w", D[3]);
}

bool ParameterDocument::findPose(int n, PairPose& pose) const {
  const json* entry = member(document_, cameraKey(n));
  const json* param = entry == nullptr ? nullptr : member(*entry, kPose);
  if (param == nullptr) return false;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      if (!numberAt(*param, rotationKey(i, j), pose.R(i, j))) return false;
    }
    if (!numberAt(*param, translationKey(i), pose.t[i])) return false;
  }
  return true;
}

int ParameterDocument::cameraCount() const {
  if (!document_.is_object()) return 0;
  int count = 0;
  const std::string prefix = "origin_";
  for (const auto& item : document_.items()) {
    const std::string& key = item.key();
    if (key.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = key.substr(prefix.size());
    if (digits.empty() || digits.size() > 9 || (digits.size() > 1 && digits[0] == '0') ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    ++count;
  }
  return count;
}

bool ParameterDocument::findPoseFrame(PoseFrame& frame) const {
  const json* value = member(document_, kPoseFrame);
  if (value == nullptr) {
    frame = PoseFrame::kPrepared;
    return true;
  }
  if (!value->is_string() || value->get<std::string>() != kCameraFrames) return false;
  frame = PoseFrame::kCamera;
  return true;
}

void ParameterDocument::setPoseFrame(PoseFrame frame) {
  if (frame == PoseFrame::kCamera) {
    document_[kPoseFrame] = kCameraFrames;
  } else if (document_.is_object()) {
    document_.erase(kPoseFrame);
  }
}

void ParameterDocument::setCamera(int n, const FisheyeCamera& camera) {
  const cv::Matx33d& K = camera.K;
  const cv::Vec4d& D = camera.D;
  json& entry = document_[cameraKey(n)];
  entry[kMatrix] = json::object({{"x", K(0, 0)}, {"y", K(1, 1)}, {"z", K(0, 2)}, {"w", K(1, 2)}});
  entry[kDistortion] = json::object({{"x", D[0]}, {"y", D[1]}, {"z", D[2]}, {"w", D[3]}});
  // A file without the member means 3200 x 2400, so the standard rig's file stays as it was.
  if (camera.frameSize != kStandardFrameSize) {
    entry[kFrameSize] =
        json::object({{"width", camera.frameSize.width}, {"height", camera.frameSize.height}});
  } else {
    entry.erase(kFrameSize);
  }
}

void ParameterDocument::setPose(int n, const PairPose& pose) {
  json param = json::object();
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) param[rotationKey(i, j)] = pose.R(i, j);
    param[translationKey(i)] = pose.t[i];
  }
  document_[cameraKey(n)][kPose] = std::move(param);
}

std::string ParameterDocument::text() const { return serializeCompact(document_); }

int ParameterDocument::write(const std::string& path) const { return writeWholeFile(path, text()); }

}  // namespace ringcalib::rig
