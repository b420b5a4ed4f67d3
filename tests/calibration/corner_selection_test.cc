#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "calibration/video_calibration.h"

namespace {

using ImageViews = std::vector<std::vector<cv::Point2f>>;
using BoardViews = std::vector<std::vector<cv::Point3f>>;

// Object point j of a view is (j, view, 0), so that the pairs can be told apart.
BoardViews numberedBoardPoints(const ImageViews& imagePoints) {
  BoardViews objectPoints;
  for (std::size_t view = 0; view < imagePoints.size(); ++view) {
    objectPoints.emplace_back();
    for (std::size_t j = 0; j < imagePoints[view].size(); ++j) {
      objectPoints.back().emplace_back(static_cast<float>(j), static_cast<float>(view), 0.0f);
    }
  }
  return objectPoints;
}

TEST(SelectCorners, KeepsTheClosedCircleOfRadius1280AroundTheReferenceCentre) {
  VideoCalibration calibration;
  ImageViews imagePoints = {{
      {2880.0f, 1200.0f},    // 0: distance exactly 1280, kept
      {2880.01f, 1200.0f},   // 1: 1280.01, dropped
      {1600.0f, -80.0f},     // 2: 1280 straight up, kept
      {1600.0f, 2480.01f},   // 3: 1280.01 down, dropped
      {1600.0f, 1200.0f},    // 4: the centre, kept
      {2368.0f, 2224.0f},    // 5: (768, 1024) from the centre, exactly 1280, kept
      {0.0f, 0.0f},          // 6: a frame corner, 2000 away, dropped
  }};
  BoardViews objectPoints = numberedBoardPoints(imagePoints);
  calibration.selectCorners(imagePoints, objectPoints, 3200, 2400);
  ASSERT_EQ(imagePoints.size(), 1u);
  ASSERT_EQ(objectPoints.size(), 1u);
  const std::vector<cv::Point2f> expectedImage = {
      {2880.0f, 1200.0f}, {1600.0f, -80.0f}, {1600.0f, 1200.0f}, {2368.0f, 2224.0f}};
  EXPECT_EQ(imagePoints[0], expectedImage);
  const std::vector<cv::Point3f> expectedBoard = {{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {5, 0, 0}};
  EXPECT_EQ(objectPoints[0], expectedBoard);
}

TEST(SelectCorners, KeepsEveryViewEvenWhenEmpty) {
  VideoCalibration calibration;
  ImageViews imagePoints = {
      {{100.0f, 100.0f}, {1600.0f, 1200.0f}},  // one corner survives
      {{10.0f, 10.0f}, {3190.0f, 2390.0f}},    // none survives
      {},                                       // empty already
      {{1700.0f, 1300.0f}},
  };
  BoardViews objectPoints = numberedBoardPoints(imagePoints);
  calibration.selectCorners(imagePoints, objectPoints, 3200, 2400);
  ASSERT_EQ(imagePoints.size(), 4u);
  ASSERT_EQ(objectPoints.size(), 4u);
  EXPECT_EQ(imagePoints[0], std::vector<cv::Point2f>({{1600.0f, 1200.0f}}));
  EXPECT_EQ(objectPoints[0], std::vector<cv::Point3f>({{1, 0, 0}}));
  EXPECT_TRUE(imagePoints[1].empty());
  EXPECT_TRUE(objectPoints[1].empty());
  EXPECT_TRUE(imagePoints[2].empty());
  EXPECT_TRUE(objectPoints[2].empty());
  EXPECT_EQ(objectPoints[3], std::vector<cv::Point3f>({{0, 3, 0}}));

  ImageViews noImages;
  BoardViews noBoards;
  calibration.selectCorners(noImages, noBoards, 3200, 2400);
  EXPECT_TRUE(noImages.empty());
  EXPECT_TRUE(noBoards.empty());
}

TEST(SelectCorners, RadiusFollowsTheWidthOnly) {
  VideoCalibration calibration;
  // Reference 1000 x 3000: centre (500, 1500), radius 400 whatever the height.
  ImageViews imagePoints = {{{500.0f, 1100.0f}, {500.0f, 1099.9f}, {901.0f, 1500.0f}}};
  BoardViews objectPoints = numberedBoardPoints(imagePoints);
  calibration.selectCorners(imagePoints, objectPoints, 1000, 3000);
  EXPECT_EQ(imagePoints[0], std::vector<cv::Point2f>({{500.0f, 1100.0f}}));
}

}  // namespace
