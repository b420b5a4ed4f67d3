#include "export/opencv_pairs.h"

#include "rig/ring_frame.h"

namespace ringcalib::exporting {

StereoPair stereoPair(const ExportRig& rig, int n) {
  const ExportCamera& first = rig.cameras[n];
  const ExportCamera& second = rig.cameras[rig::nextCamera(n)];
  const rig::PairPose& pose = rig.pairs[n];
  const cv::Matx33d S = rig::poseFrameToSensor();
  StereoPair pair{first.lens.K, second.lens.K, first.lens.D, second.lens.D, S * pose.R * S.t(), {}, first.still};
  const cv::Vec3d T = -(pair.R * (S * pose.t));
  pair.T = T * (1.0 / cv::norm(T));
  return pair;
}

void writeStereoPairs(const ExportRig& rig, const std::string& folder) {
  for (int n = 0; n < rig::kCameras; ++n) {
    const StereoPair pair = stereoPair(rig, n);
    const std::string path = folder + "/pair_" + std::to_string(n) + ".yaml";
    cv::FileStorage file(path, cv::FileStorage::WRITE);
    if (!file.isOpened()) CV_Error(cv::Error::StsError, "cannot write " + path);
    file << "K1" << cv::Mat(pair.K1) << "D1" << cv::Mat(pair.D1) << "K2" << cv::Mat(pair.K2) << "D2"
         << cv::Mat(pair.D2) << "R" << cv::Mat(pair.R) << "T" << cv::Mat(pair.T) << "image_size" << pair.imageSize;
  }
}

}  // namespace ringcalib::exporting
