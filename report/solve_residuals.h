#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "report/report_data.h"

// Reprojection residuals of a fisheye solve, measured with the solve's own view poses.
namespace ringcalib::report {

struct SolveResiduals {
  std::vector<double> viewRms;          // per view: sqrt(mean of |projected - detected|^2)
  std::vector<CornerResidual> corners;  // every corner with its residual length
};

// Projects every view's board points through (K, D) from that view's rotation and
// translation vectors (cv::fisheye::projectPoints) and compares them with the detected
// corners. The three lists of views are index-aligned.
SolveResiduals fisheyeResiduals(const std::vector<std::vector<cv::Point3f>>& objectPoints,
                                const std::vector<std::vector<cv::Point2f>>& imagePoints,
                                const std::vector<cv::Vec3d>& rotations,
                                const std::vector<cv::Vec3d>& translations,
                                const cv::Matx33d& K, const cv::Vec4d& D);

// Records a finished solve in `camera`: K and D, the solve's own RMS error and, measured
// with fisheyeResiduals, each solved view's RMS error and every corner's residual.
void recordFisheyeSolve(CameraReport& camera, double rms,
                        const std::vector<std::vector<cv::Point3f>>& objectPoints,
                        const std::vector<std::vector<cv::Point2f>>& imagePoints,
                        const std::vector<cv::Vec3d>& rotations,
                        const std::vector<cv::Vec3d>& translations, const cv::Matx33d& K,
                        const cv::Vec4d& D);

}  // namespace ringcalib::report
