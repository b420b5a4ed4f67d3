#include "export/opencv_pairs.h"

#include <cmath>
#include <stdexcept>

#include "rig/ring_frame.h"

namespace ringcalib::exporting {

StereoPair stereoPair(const ExportRig& rig, int n) {
  const ExportCamera& first = rig.cameras[n];
  const int cameras = static_cast<int>(rig.cameras.size());
  const ExportCamera& second = rig.cameras[rig::nextCamera(n, cameras)];
  const rig::PairPose& pose = rig.pairs[n];
  const cv::Matx33d S = rig::poseFrameToSensor(rig.poseFrame);
  StereoPair pair{first.lens.K, second.lens.K, first.lens.D, second.lens.D, S * pose.R * S.t(), {}, first.still};
  const cv::Vec3d T = -(pair.R * (S * pose.t));
  pair.T = T * (1.0 / cv::norm(T));
  return pair;
}

std::string stereoPairName(int n) { return "pair_" + std::to_string(n) + ".yaml"; }

std::vector<std::string> stereoPairFiles(const ExportRig& rig) {
  const int cameras = static_cast<int>(rig.cameras.size());
  std::vector<std::string> files;
  for (int n = 0; n < cameras; ++n) {
    const StereoPair pair = stereoPair(rig, n);
    if (!cv::checkRange(pair.K1) || !cv::checkRange(pair.K2) || !cv::checkRange(pair.D1) ||
        !cv::checkRange(pair.D2) || !cv::checkRange(pair.R) || !cv::checkRange(pair.T) ||
        !(std::abs(cv::norm(pair.T) - 1.0) < 1e-9)) {
      throw std::runtime_error("pair " + std::to_string(n) + "-" + std::to_string(rig::nextCamera(n, cameras)) +
                               ": a value in OpenCV's terms is not finite, or T is not of unit length");
    }
    // The name tells the format; nothing is written under it.
    cv::FileStorage file(stereoPairName(n), cv::FileStorage::WRITE | cv::FileStorage::MEMORY);
    file << "K1" << cv::Mat(pair.K1) << "D1" << cv::Mat(pair.D1) << "K2" << cv::Mat(pair.K2) << "D2"
         << cv::Mat(pair.D2) << "R" << cv::Mat(pair.R) << "T" << cv::Mat(pair.T) << "image_size" << pair.imageSize;
    files.push_back(file.releaseAndGetString());
  }
  return files;
}

}  // namespace ringcalib::exporting
