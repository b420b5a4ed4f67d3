#include "report/still_lookup.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>


namespace ringcalib::report {

namespace {

constexpr double kBorderRamp = 32.0;  // pixels over which a still's weight falls to 0 at its border

}  // namespace

StillLookup lookUpStill(const rig::FisheyeCamera& lens, cv::Size still, cv::Size picture,
                        const std::function<cv::Vec3d(double col, double row)>& sensorRay) {
  const rig::FisheyeLens model(lens);
  const double thetaMax = model.maxTheta();
  const cv::Size coarse((picture.width + kLookupStep - 2) / kLookupStep + 1,
                        (picture.height + kLookupStep - 2) / kLookupStep + 1);
  cv::Mat coarseMap(coarse, CV_32FC2);
  StillLookup lookup;
  lookup.coarseWeight.create(coarse, CV_32F);
  cv::parallel_for_(cv::Range(0, coarse.height), [&](const cv::Range& rows) {
    for (int j = rows.start; j < rows.end; ++j) {
      for (int i = 0; i < coarse.width; ++i) {
        const cv::Vec3d ray = sensorRay(i * kLookupStep, j * kLookupStep);
        const double theta = std::atan2(std::hypot(ray[0], ray[1]), ray[2]);
        const cv::Point2d pixel = model.project(ray);
        const double border = std::min({pixel.x, pixel.y, still.width - 1 - pixel.x, still.height - 1 - pixel.y});
        double weight = 0.0;
        if (theta < thetaMax && border > 0.0) {
          weight = std::pow(1.0 - theta / thetaMax, 4) * std::min(1.0, border / kBorderRamp);
        }
        coarseMap.at<cv::Vec2f>(j, i) = cv::Vec2f(static_cast<float>(pixel.x), static_cast<float>(pixel.y));
        lookup.coarseWeight.at<float>(j, i) = static_cast<float>(weight);
      }
    }
  });
  // Bilinear between the four computed points around each pixel. A cell whose four points
  // all have weight 0 is left off the still: it shows nothing, and its points may lie
  // where the lens model folds back.
  lookup.map.create(picture, CV_32FC2);
  lookup.weight.create(picture, CV_32F);
  cv::parallel_for_(cv::Range(0, picture.height), [&](const cv::Range& rows) {
    for (int r = rows.start; r < rows.end; ++r) {
      const int j = r / kLookupStep;
      const float fy = static_cast<float>(r % kLookupStep) / kLookupStep;
      const cv::Vec2f* map0 = coarseMap.ptr<cv::Vec2f>(j);
      const cv::Vec2f* map1 = coarseMap.ptr<cv::Vec2f>(j + 1);
      const float* weight0 = lookup.coarseWeight.ptr<float>(j);
      const float* weight1 = lookup.coarseWeight.ptr<float>(j + 1);
      cv::Vec2f* map = lookup.map.ptr<cv::Vec2f>(r);
      float* weight = lookup.weight.ptr<float>(r);
      for (int c = 0; c < picture.width; ++c) {
        const int i = c / kLookupStep;
        if (weight0[i] == 0.0f && weight0[i + 1] == 0.0f && weight1[i] == 0.0f && weight1[i + 1] == 0.0f) {
          map[c] = cv::Vec2f(-1.0f, -1.0f);
          weight[c] = 0.0f;
          continue;
        }
        const float fx = static_cast<float>(c % kLookupStep) / kLookupStep;
        const float w00 = (1.0f - fx) * (1.0f - fy), w01 = fx * (1.0f - fy);
        const float w10 = (1.0f - fx) * fy, w11 = fx * fy;
        map[c] = w00 * map0[i] + w01 * map0[i + 1] + w10 * map1[i] + w11 * map1[i + 1];
        weight[c] = w00 * weight0[i] + w01 * weight0[i + 1] + w10 * weight1[i] + w11 * weight1[i + 1];
      }
    }
  });
  return lookup;
}

cv::Mat remapStill(const cv::Mat& still, const StillLookup& lookup) {
  cv::Mat seen;
  cv::remap(still, seen, lookup.map, cv::noArray(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
  return seen;
}

}  // namespace ringcalib::report
