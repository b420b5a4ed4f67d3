#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "calibration/extrinsic_calibration.h"

namespace {

// Texture at several scales, so that the flow has structure to follow at every level.
cv::Mat texture(int rows, int cols, int seed) {
  cv::RNG rng(seed);
  cv::Mat sum = cv::Mat::zeros(rows, cols, CV_32F);
  for (int scale : {2, 5, 13}) {
    cv::Mat coarse(rows / scale + 2, cols / scale + 2, CV_32F);
    rng.fill(coarse, cv::RNG::UNIFORM, 0.f, 1.f);
    cv::Mat fine;
    cv::resize(coarse, fine, cv::Size(), scale, scale, cv::INTER_CUBIC);
    sum += fine(cv::Rect(0, 0, cols, rows));
  }
  cv::Mat image;
  sum.convertTo(image, CV_8U, 80.0);
  return image;
}

struct Matches {
  std::vector<cv::Point2f> pts1;
  std::vector<cv::Point2f> pts2;
};

Matches match(const cv::Mat& I1, const cv::Mat& I2) {
  ExtrinsicCalibration job;
  Matches m;
  job.matchesFromDenseOpticalFlow(I1, I2, m.pts1, m.pts2);
  EXPECT_EQ(m.pts1.size(), m.pts2.size());
  return m;
}

TEST(DenseFlowMatches, IdenticalImagesMatchEveryInnerGridPoint) {
  // Width 3600: the strip covers columns 1260 to 2339, 216 x 12 grid samples, of which grid
  // column 0 and grid row 0 fail the strict bounds. The flow is zero both ways.
  const cv::Mat image = texture(60, 3600, 1);
  const Matches m = match(image, image);
  ASSERT_EQ(m.pts1.size(), 215u * 11u);
  std::size_t k = 0;
  for (int y = 5; y < 60; y += 5) {
    for (int x = 5; x < 1080; x += 5, ++k) {
      EXPECT_EQ(m.pts1[k], cv::Point2f(1260.f + x, static_cast<float>(y)));
      EXPECT_EQ(m.pts2[k], m.pts1[k]);
    }
  }
}

TEST(DenseFlowMatches, FollowsAKnownShiftInsideTheStrip) {
  for (int seed = 1; seed <= 3; ++seed) {
    // Width 200: the strip starts at column 70 and is 60 wide. The second image shows the
    // scene moved by (+6, +3) pixels, so grid column 55 would land beyond the strip.
    const cv::Mat scene = texture(420, 220, seed);
    const cv::Mat I1 = scene(cv::Rect(10, 10, 200, 400)).clone();
    const cv::Mat I2 = scene(cv::Rect(4, 7, 200, 400)).clone();
    const Matches m = match(I1, I2);
    ASSERT_GT(m.pts1.size(), 700u) << "seed " << seed;
    std::vector<float> errors;
    for (std::size_t k = 0; k < m.pts1.size(); ++k) {
      const cv::Point2f strip1 = m.pts1[k] - cv::Point2f(70.f, 0.f);
      const cv::Point2f strip2 = m.pts2[k] - cv::Point2f(70.f, 0.f);
      EXPECT_EQ(static_cast<int>(strip1.x) % 5, 0);
      EXPECT_EQ(static_cast<int>(strip1.y) % 5, 0);
      EXPECT_LT(strip1.x, 55.f);
      EXPECT_TRUE(strip2.x > 0 && strip2.x < 59 && strip2.y > 0 && strip2.y < 399) << strip2;
      errors.push_back(static_cast<float>(cv::norm(m.pts2[k] - m.pts1[k] - cv::Point2f(6, 3))));
    }
    std::nth_element(errors.begin(), errors.begin() + errors.size() / 2, errors.end());
    EXPECT_LT(errors[errors.size() / 2], 0.1f) << "seed " << seed;
  }
}

}  // namespace
