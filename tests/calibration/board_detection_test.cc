#include <cmath>
#include <limits>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "calibration/back_off.h"
#include "calibration/video_calibration.h"
#include "tests/calibration/board_images.h"

namespace {

using ringcalib::test::boardCorners;
using ringcalib::test::boardToImage;
using ringcalib::test::renderBoard;
using ringcalib::test::toColour;

const cv::Size kBoard(9, 12);

// The back-off counter is shared by the whole process: run through any back-off left by an
// earlier test. A call that backs off does not look at its frame, so an empty one will do.
void letFastCheckTestAgain(VideoCalibration& calibration) {
  while (!ringcalib::back_off::testsNext(ringcalib::back_off::processCounter())) calibration.fastChect(cv::Mat(), 9, 12);
}

double largestDistance(const std::vector<cv::Point2f>& a, const std::vector<cv::Point2f>& b) {
  double largest = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) largest = std::max(largest, cv::norm(a[i] - b[i]));
  return largest;
}

cv::Mat fullSizeBoard() {
  return renderBoard(cv::Size(3200, 2400), boardToImage({1500, 1300}, 120.0, 8.0, 25.0));
}

TEST(FastCheck, FailureSkipsTheNextThreeCallsOfAnyObject) {
  VideoCalibration first;
  VideoCalibration second;
  const cv::Mat board = toColour(fullSizeBoard());
  const cv::Mat blank(2400, 3200, CV_8UC3, cv::Scalar::all(25));
  letFastCheckTestAgain(first);

  EXPECT_TRUE(first.fastChect(board, 9, 12));
  EXPECT_TRUE(second.fastChect(board, 9, 12));  // a found board sets no back-off
  EXPECT_FALSE(first.fastChect(blank, 9, 12));  // s1 fails
  // s2 to s4: skipped without image work (an empty frame would make the resize raise),
  // whichever object makes the call.
  EXPECT_FALSE(ringcalib::back_off::testsNext(ringcalib::back_off::processCounter()));
  EXPECT_FALSE(second.fastChect(cv::Mat(), 9, 12));
  EXPECT_FALSE(first.fastChect(board, 9, 12));
  EXPECT_FALSE(second.fastChect(cv::Mat(), 9, 12));
  // s5 is tested again.
  EXPECT_TRUE(ringcalib::back_off::testsNext(ringcalib::back_off::processCounter()));
  EXPECT_TRUE(second.fastChect(board, 9, 12));
  EXPECT_TRUE(ringcalib::back_off::testsNext(ringcalib::back_off::processCounter()));
}

TEST(FastCheck, SearchesAFixedSizeInvertedGreyCopy) {
  VideoCalibration calibration;
  const cv::Mat gray = renderBoard(cv::Size(1920, 1080), boardToImage({960, 540}, 70.0));
  letFastCheckTestAgain(calibration);
  EXPECT_TRUE(calibration.fastChect(toColour(gray), 9, 12));
  ASSERT_EQ(calibration.fastCheckImage().size(), cv::Size(1000, 750));
  ASSERT_EQ(calibration.fastCheckImage().type(), CV_8UC1);
  // The surround (25) becomes 230 in the inverted copy.
  EXPECT_EQ(calibration.fastCheckImage().at<uchar>(0, 0), 230);
}

TEST(DetectCorners, FindsRefinedCornersInBoardOrderAtFullSize) {
  VideoCalibration calibration;
  for (const double tilt : {0.0, 25.0, -35.0}) {
    const cv::Matx33d toImage = boardToImage({1700, 1150}, 110.0, -12.0, tilt);
    cv::Mat gray = renderBoard(cv::Size(3200, 2400), toImage);
    std::vector<cv::Point2f> corners;
    ASSERT_TRUE(calibration.detectCorners(gray, corners, kBoard)) << "tilt " << tilt;
    ASSERT_EQ(corners.size(), 108u);
    EXPECT_LT(largestDistance(corners, boardCorners(toImage)), 0.25) << "tilt " << tilt;
  }
}

TEST(DetectCorners, LeavesTheCallersImageInverted) {
  VideoCalibration calibration;
  for (const bool withBoard : {true, false}) {
    const cv::Mat original =
        withBoard ? fullSizeBoard() : cv::Mat(2400, 3200, CV_8UC1, cv::Scalar(25));
    cv::Mat gray = original.clone();
    std::vector<cv::Point2f> corners;
    EXPECT_EQ(calibration.detectCorners(gray, corners, kBoard), withBoard);
    EXPECT_EQ(cv::norm(gray, 255 - original, cv::NORM_INF), 0.0);
  }
}

TEST(DetectCorners, SearchesTheFrameReducedByThreePointTwo) {
  VideoCalibration calibration;
  const cv::Matx33d toImage = boardToImage({960, 540}, 70.0);
  cv::Mat gray = renderBoard(cv::Size(1920, 1080), toImage);
  std::vector<cv::Point2f> corners;
  EXPECT_TRUE(calibration.detectCorners(gray, corners, kBoard));
  // 1080 / 3.2 = 337.5 is truncated.
  EXPECT_EQ(calibration.detectionImage().size(), cv::Size(600, 337));
  EXPECT_LT(largestDistance(corners, boardCorners(toImage)), 0.25);
}

TEST(DetectCorners, RejectsABoardOfTooLittleContrast) {
  VideoCalibration calibration;
  const cv::Matx33d toImage = boardToImage({1500, 1300}, 120.0, 8.0, 25.0);
  // The corners' window contrast falls with the difference of the squares: about 0.11 for
  // squares of 100 and 40, about 0.08 for 100 and 60; the bound is 0.1.
  cv::Mat clear = renderBoard(cv::Size(3200, 2400), toImage, 100, 40);
  std::vector<cv::Point2f> corners;
  EXPECT_TRUE(calibration.detectCorners(clear, corners, kBoard));
  cv::Mat faint = renderBoard(cv::Size(3200, 2400), toImage, 100, 60);
  corners.clear();
  EXPECT_FALSE(calibration.detectCorners(faint, corners, kBoard));
  // It was the contrast that failed: the corners were found and refined.
  EXPECT_EQ(corners.size(), 108u);
  EXPECT_LT(calibration.shapeResponse(faint, corners), 0.1);
  EXPECT_TRUE(calibration.testCorners(corners, 9, 12));
}

TEST(ShapeResponse, OnlyCornersAtLeastThreePixelsInsideCount) {
  VideoCalibration calibration;
  const cv::Mat flat(100, 120, CV_8UC1, cv::Scalar(90));  // any counted corner gives 0
  std::vector<cv::Point2f> outside = {{2.99f, 50.f}, {117.0f, 50.f}, {50.f, 2.5f},
                                      {50.f, 97.9f}, {-4.f, -4.f}};
  EXPECT_EQ(calibration.shapeResponse(flat, outside), 10000.0);
  std::vector<cv::Point2f> none;
  EXPECT_EQ(calibration.shapeResponse(flat, none), 10000.0);
  for (const cv::Point2f inside : {cv::Point2f(3.0f, 50.f), cv::Point2f(116.9f, 96.9f)}) {
    std::vector<cv::Point2f> one = {inside};
    EXPECT_EQ(calibration.shapeResponse(flat, one), 0.0) << inside;
  }
}

TEST(ShapeResponse, IsTheSmallestWindowContrast) {
  VideoCalibration calibration;
  // Columns 0..50 black, 51.. at 200: a window on column 50 has 4 black and 3 bright
  // columns, mean 600/7 and mean absolute deviation 4800/49, ratio 8/7.
  cv::Mat edge(40, 100, CV_8UC1, cv::Scalar(0));
  edge.colRange(51, 100).setTo(200);
  std::vector<cv::Point2f> corners = {{50.4f, 20.f}};
  EXPECT_NEAR(calibration.shapeResponse(edge, corners), 8.0 / 7.0, 1e-12);
  corners.push_back({80.f, 20.f});  // flat bright ground: 0
  EXPECT_EQ(calibration.shapeResponse(edge, corners), 0.0);
}

TEST(ShapeResponse, AllBlackWindowIsNotANumberOnlyWhenLast) {
  VideoCalibration calibration;
  cv::Mat edge(40, 100, CV_8UC1, cv::Scalar(0));
  edge.colRange(51, 100).setTo(200);
  std::vector<cv::Point2f> blackLast = {{50.f, 20.f}, {10.f, 20.f}};
  EXPECT_TRUE(std::isnan(calibration.shapeResponse(edge, blackLast)));
  std::vector<cv::Point2f> blackFirst = {{10.f, 20.f}, {50.f, 20.f}};
  EXPECT_NEAR(calibration.shapeResponse(edge, blackFirst), 8.0 / 7.0, 1e-12);
}

// A grid seen in perspective, with corner `bent` of row 4 moved off the row by `degrees`
// at the corner before it.
std::vector<cv::Point2f> gridWithBentRow(double degrees, int bent = 5) {
  std::vector<cv::Point2f> corners = boardCorners(boardToImage({800, 600}, 40.0, 20.0, 30.0));
  const cv::Point2f previous = corners[4 * 9 + bent - 1];
  const cv::Point2f segment = corners[4 * 9 + bent] - previous;
  const double angle = degrees * CV_PI / 180.0;
  corners[4 * 9 + bent] =
      previous + cv::Point2f(static_cast<float>(segment.x * std::cos(angle) -
                                                segment.y * std::sin(angle)),
                             static_cast<float>(segment.x * std::sin(angle) +
                                                segment.y * std::cos(angle)));
  return corners;
}

TEST(TestCorners, StraightRowsAndColumnsPassABentRowFails) {
  VideoCalibration calibration;
  std::vector<cv::Point2f> straight = gridWithBentRow(0.0);
  EXPECT_TRUE(calibration.testCorners(straight, 9, 12));
  // acos(0.99) is 8.11 degrees.
  std::vector<cv::Point2f> slightlyBent = gridWithBentRow(3.0);
  EXPECT_TRUE(calibration.testCorners(slightlyBent, 9, 12));
  for (const int corner : {1, 5, 8}) {
    std::vector<cv::Point2f> bent = gridWithBentRow(9.0, corner);
    EXPECT_FALSE(calibration.testCorners(bent, 9, 12)) << "corner " << corner;
  }
}

TEST(TestCorners, ABentColumnFails) {
  VideoCalibration calibration;
  std::vector<cv::Point2f> corners = boardCorners(boardToImage({800, 600}, 40.0));
  corners[6 * 9 + 2].x += 10.0f;  // column 2 kinks at row 6 by about 14 degrees
  EXPECT_FALSE(calibration.testCorners(corners, 9, 12));
}

TEST(TestCorners, NeedsExactlyTheBoardsPointCount) {
  VideoCalibration calibration;
  std::vector<cv::Point2f> corners = gridWithBentRow(0.0);
  corners.pop_back();
  EXPECT_FALSE(calibration.testCorners(corners, 9, 12));  // 107 points
  corners.push_back(corners.back());
  corners.push_back(corners.back());
  EXPECT_FALSE(calibration.testCorners(corners, 9, 12));  // 109 points
}

TEST(TestCorners, RepeatedCornerDoesNotFail) {
  VideoCalibration calibration;
  // One row collapsed onto a single point: every segment of that row has zero length.
  std::vector<cv::Point2f> corners(9, cv::Point2f(5.f, 5.f));
  EXPECT_TRUE(calibration.testCorners(corners, 9, 1));
}

}  // namespace
