#include "report/panorama.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "report/still_lookup.h"

namespace ringcalib::report {

namespace {

cv::Vec3d panoramaRay(double col, double row) {
  const double longitude = ((col + 0.5) / rig::kPanoramaWidth - 0.5) * 2.0 * CV_PI;
  const double latitude = ((row + 0.5) / rig::kPanoramaHeight - 0.5) * CV_PI;
  return {std::cos(latitude) * std::sin(longitude), std::sin(latitude),
          std::cos(latitude) * std::cos(longitude)};
}

// Where the camera's share of the blend reaches kOutlineShare, from the coarse weights.
std::vector<std::vector<cv::Point>> outlineOf(const cv::Mat& weight, const cv::Mat& total) {
  cv::Mat share;
  cv::divide(weight, total, share);
  cv::Mat inside = share >= kOutlineShare;
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(inside, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
  for (std::vector<cv::Point>& contour : contours) {
    std::vector<cv::Point> simple;
    cv::approxPolyDP(contour, simple, 1.0, true);
    for (cv::Point& point : simple) point *= kLookupStep;
    contour = std::move(simple);
  }
  return contours;
}

}  // namespace

cv::Point2d panoramaPixel(const cv::Vec3d& ray) {
  const double longitude = std::atan2(ray[0], ray[2]);
  const double latitude = std::atan2(ray[1], std::hypot(ray[0], ray[2]));
  return {(longitude / (2.0 * CV_PI) + 0.5) * rig::kPanoramaWidth - 0.5,
          (latitude / CV_PI + 0.5) * rig::kPanoramaHeight - 0.5};
}

Panorama stitchPanorama(const std::vector<StillCamera>& cameras, const rig::RingRotations& orientations,
                        rig::PoseFrame frame) {
  const rig::RingRotations toSensors = rig::panoramaToSensor(orientations, frame);
  const cv::Size size(rig::kPanoramaWidth, rig::kPanoramaHeight);
  cv::Mat sum = cv::Mat::zeros(size, CV_32F);
  cv::Mat weights = cv::Mat::zeros(size, CV_32F);
  std::vector<cv::Mat> coarseWeights;
  Panorama panorama;
  for (std::size_t n = 0; n < cameras.size(); ++n) {
    const cv::Matx33d& toSensor = toSensors[n];
    const StillLookup lookup = lookUpStill(cameras[n].lens, cameras[n].still.size(), size,
                                           [&toSensor](double col, double row) { return toSensor * panoramaRay(col, row); });
    cv::Mat seen;
    remapStill(cameras[n].still, lookup).convertTo(seen, CV_32F);
    cv::accumulateProduct(seen, lookup.weight, sum);
    weights += lookup.weight;
    coarseWeights.push_back(lookup.coarseWeight);
    panorama.axes.push_back(panoramaPixel(toSensor.t() * cv::Vec3d(0.0, 0.0, 1.0)));
  }
  // Where no camera sees, the sum is 0 and so is the picture.
  cv::Mat seenAnywhere;
  cv::max(weights, 1e-30, seenAnywhere);
  cv::divide(sum, seenAnywhere, sum);
  sum.convertTo(panorama.image, CV_8U);
  cv::Mat total = cv::Mat::zeros(coarseWeights[0].size(), CV_32F);
  for (const cv::Mat& weight : coarseWeights) total += weight;
  cv::max(total, 1e-30, total);
  for (const cv::Mat& weight : coarseWeights) panorama.outlines.push_back(outlineOf(weight, total));
  return panorama;
}

}  // namespace ringcalib::report
