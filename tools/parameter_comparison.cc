#include "tools/parameter_comparison.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "tools/truth_compare.h"

namespace ringcalib::synth {
namespace {

using nlohmann::json;

// node[key] as a number, or false when absent or not a number.
bool numberAt(const json& node, const std::string& key, double& value) {
  if (!node.is_object()) return false;
  const auto it = node.find(key);
  if (it == node.end() || !it->is_number()) return false;
  value = it->get<double>();
  return true;
}

bool readIntrinsics(const json& camera, cv::Matx33d& K, cv::Vec4d& D) {
  if (!camera.is_object()) return false;
  const json matrix = camera.value("camera_matrix", json());
  const json distortion = camera.value("distortion_factor", json());
  K = cv::Matx33d::eye();
  return numberAt(matrix, "x", K(0, 0)) && numberAt(matrix, "y", K(1, 1)) && numberAt(matrix, "z", K(0, 2)) &&
         numberAt(matrix, "w", K(1, 2)) && numberAt(distortion, "x", D[0]) && numberAt(distortion, "y", D[1]) &&
         numberAt(distortion, "z", D[2]) && numberAt(distortion, "w", D[3]);
}

bool readExtrinsics(const json& camera, cv::Matx33d& R, cv::Vec3d& t) {
  if (!camera.is_object()) return false;
  const json param = camera.value("extrinsic_param", json());
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j)
      if (!numberAt(param, "R" + std::to_string(i) + std::to_string(j), R(i, j))) return false;
    if (!numberAt(param, "T" + std::to_string(i) + "0", t[i])) return false;
  }
  return true;
}

}  // namespace

bool RigComparison::allCamerasFound() const {
  for (const CameraComparison& c : cameras)
    if (!c.found) return false;
  return true;
}

RigComparison compareParameterFile(const RigTruth& truth, const std::string& paramsPath) {
  std::ifstream in(paramsPath, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + paramsPath);
  json doc;
  try {
    doc = json::parse(in);
  } catch (const json::exception& e) {
    throw std::runtime_error(paramsPath + " is not a parameter file: " + e.what());
  }
  RigComparison result;
  for (size_t n = 0; n < truth.cameras.size(); ++n) {
    const json camera = doc.is_object() ? doc.value("origin_" + std::to_string(n), json()) : json();
    cv::Matx33d K;
    cv::Vec4d D;
    if (readIntrinsics(camera, K, D)) {
      const cv::Matx33d& T = truth.cameras[n].K;
      result.cameras[n] = {true, projectionRmsError(truth.cameras[n], K, D),
                           cv::Vec4d(K(0, 0) - T(0, 0), K(1, 1) - T(1, 1), K(0, 2) - T(0, 2), K(1, 2) - T(1, 2))};
    }
    cv::Matx33d R;
    cv::Vec3d t;
    if (readExtrinsics(camera, R, t)) {
      result.pairs[n] = {true, rotationErrorDeg(R, truth.pairs[n].R), directionErrorDeg(t, truth.pairs[n].t)};
    }
  }
  return result;
}

void printComparison(std::ostream& out, const RigComparison& comparison) {
  char line[160];
  out << "camera  model RMS (px)      dfx      dfy      dcx      dcy\n";
  for (size_t n = 0; n < comparison.cameras.size(); ++n) {
    const CameraComparison& c = comparison.cameras[n];
    if (!c.found) {
      std::snprintf(line, sizeof line, "%6zu  not in file\n", n);
    } else {
      std::snprintf(line, sizeof line, "%6zu  %14.4f  %+7.3f  %+7.3f  %+7.3f  %+7.3f\n", n, c.modelRmsPx,
                    c.differences[0], c.differences[1], c.differences[2], c.differences[3]);
    }
    out << line;
  }
  out << "pair    rotation (deg)  direction (deg)\n";
  for (size_t n = 0; n < comparison.pairs.size(); ++n) {
    const PairComparison& p = comparison.pairs[n];
    const int first = static_cast<int>(n);
    const int second = static_cast<int>((n + 1) % comparison.pairs.size());
    if (!p.found) {
      std::snprintf(line, sizeof line, "%4d-%d  not in file\n", first, second);
    } else {
      std::snprintf(line, sizeof line, "%4d-%d  %14.4f  %15.4f\n", first, second, p.rotationDeg, p.directionDeg);
    }
    out << line;
  }
}

}  // namespace ringcalib::synth
