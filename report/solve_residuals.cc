#include "report/solve_residuals.h"

#include <algorithm>
#include <cmath>

#include <opencv2/calib3d.hpp>

namespace ringcalib::report {

SolveResiduals fisheyeResiduals(const std::vector<std::vector<cv::Point3f>>& objectPoints,
                                const std::vector<std::vector<cv::Point2f>>& imagePoints,
                                const std::vector<cv::Vec3d>& rotations,
                                const std::vector<cv::Vec3d>& translations,
                                const cv::Matx33d& K, const cv::Vec4d& D) {
  SolveResiduals residuals;
  const std::size_t views = std::min({objectPoints.size(), imagePoints.size(),
                                      rotations.size(), translations.size()});
  for (std::size_t view = 0; view < views; ++view) {
    const std::vector<cv::Point2f>& detected = imagePoints[view];
    if (detected.empty() || objectPoints[view].size() != detected.size()) {
      residuals.viewRms.push_back(kNotMeasured);
      continue;
    }
    std::vector<cv::Point2f> projected;
    cv::fisheye::projectPoints(objectPoints[view], projected, rotations[view],
                               translations[view], K, D);
    double squares = 0.0;
    for (std::size_t i = 0; i < detected.size(); ++i) {
      const cv::Point2f offset = projected[i] - detected[i];
      const double square = static_cast<double>(offset.x) * offset.x +
                            static_cast<double>(offset.y) * offset.y;
      squares += square;
      residuals.corners.push_back({detected[i], static_cast<float>(std::sqrt(square))});
    }
    residuals.viewRms.push_back(std::sqrt(squares / static_cast<double>(detected.size())));
  }
  return residuals;
}

void recordFisheyeSolve(CameraReport& camera, double rms,
                        const std::vector<std::vector<cv::Point3f>>& objectPoints,
                        const std::vector<std::vector<cv::Point2f>>& imagePoints,
                        const std::vector<cv::Vec3d>& rotations,
                        const std::vector<cv::Vec3d>& translations, const cv::Matx33d& K,
                        const cv::Vec4d& D) {
  SolveResiduals residuals =
      fisheyeResiduals(objectPoints, imagePoints, rotations, translations, K, D);
  if (!camera.intrinsic) camera.intrinsic.emplace();
  IntrinsicReport& intrinsic = *camera.intrinsic;
  intrinsic.solved = true;
  intrinsic.rmsError = rms;
  intrinsic.viewRmsErrors = std::move(residuals.viewRms);
  intrinsic.corners = std::move(residuals.corners);
  camera.hasIntrinsics = true;
  camera.K = K;
  camera.D = D;
}

}  // namespace ringcalib::report
