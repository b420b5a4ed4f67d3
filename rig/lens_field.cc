#include "rig/lens_field.h"

#include <algorithm>

#include "pose/angles.h"
#include "rig/prepared_view.h"

namespace ringcalib::rig {
namespace {

// The distance of a frame position from the principal point, in units of the focal length:
// the theta_d that the model must reach there.
double normalisedRadius(const cv::Matx33d& K, double x, double y) {
  return std::hypot((x - K(0, 2)) / K(0, 0), (y - K(1, 2)) / K(1, 1));
}

// The angle off the axis of normalised radius `thetaD`: the model's largest where it does not
// reach that far.
double angleOfRadius(const FisheyeLens& lens, double thetaD) {
  return thetaD < lens.distortTheta(lens.maxTheta()) ? lens.undistortTheta(thetaD)
                                                     : lens.maxTheta();
}

}  // namespace

LensField lensField(const FisheyeCamera& camera) {
  const FisheyeLens lens(camera);
  const cv::Matx33d& K = camera.K;
  const double w = camera.frameSize.width;
  const double h = camera.frameSize.height;
  const double corner = std::max({normalisedRadius(K, 0, 0), normalisedRadius(K, w, 0),
                                  normalisedRadius(K, 0, h), normalisedRadius(K, w, h)});
  const double side = std::min({K(0, 2) / K(0, 0), (w - K(0, 2)) / K(0, 0), K(1, 2) / K(1, 1),
                                (h - K(1, 2)) / K(1, 1)});
  LensField field;
  const bool turns = lens.maxTheta() < FisheyeLens::kDomain;
  if (turns && lens.distortTheta(lens.maxTheta()) < corner) {
    field.foldDeg = lens.maxTheta() * kDegreesPerRadian;
  } else {
    field.edgeDeg = angleOfRadius(lens, corner) * kDegreesPerRadian;
  }
  field.neededDeg = std::min(preparedViewReach(), angleOfRadius(lens, std::max(side, 0.0))) * kDegreesPerRadian;
  return field;
}

double angleOffAxisDeg(const FisheyeLens& lens, const cv::Point2f& pixel) {
  return angleOfRadius(lens, normalisedRadius(lens.K(), pixel.x, pixel.y)) * kDegreesPerRadian;
}

double reachDeg(const FisheyeLens& lens, const std::vector<std::vector<cv::Point2f>>& views) {
  double reach = 0.0;
  for (const auto& view : views) {
    for (const cv::Point2f& corner : view) reach = std::max(reach, angleOffAxisDeg(lens, corner));
  }
  return reach;
}

}  // namespace ringcalib::rig
