#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "calibration/extrinsic_calibration.h"
#include "calibration/extrinsic_geometry.h"

namespace {

using ringcalib::extrinsic::pairRotation;
using ringcalib::extrinsic::targetCameraMatrix;

cv::Mat randomImage(int rows, int cols, int type) {
  cv::Mat image(rows, cols, type);
  cv::randu(image, 0, 256);
  return image;
}

cv::Mat bytes(int rows, int cols, std::vector<uchar> values) {
  return cv::Mat(rows, cols, CV_8U, values.data()).clone();
}

bool sameBytes(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// With K = I the warp's H is R itself: this one samples every pixel at (x + dx, y + dy).
cv::Mat translation(double dx, double dy) {
  return (cv::Mat_<double>(3, 3) << 1, 0, dx, 0, 1, dy, 0, 0, 1);
}

TEST(SetNonZero, RaisesOnlyZeros) {
  ExtrinsicCalibration job;
  cv::Mat ramp(1, 256, CV_8U);
  for (int v = 0; v < 256; ++v) ramp.at<uchar>(0, v) = static_cast<uchar>(v);
  cv::Mat expected = ramp.clone();
  expected.at<uchar>(0, 0) = 1;
  job.setNonZero(ramp);
  EXPECT_TRUE(sameBytes(ramp, expected));

  // Every channel; a view changes only its own pixels; an empty image is left alone.
  cv::Mat whole = cv::Mat::zeros(6, 6, CV_8UC3);
  cv::Mat view = whole(cv::Rect(1, 2, 3, 2));
  job.setNonZero(view);
  EXPECT_EQ(cv::countNonZero(whole.reshape(1)), 18);
  EXPECT_TRUE(sameBytes(view, cv::Mat(2, 3, CV_8UC3, cv::Scalar::all(1))));
  cv::Mat empty;
  job.setNonZero(empty);
  EXPECT_TRUE(empty.empty());
}

TEST(Rotate90, TurnsCounterClockwise) {
  ExtrinsicCalibration job;
  cv::Mat square = bytes(2, 2, {'a', 'b', 'c', 'd'});
  job.rotate90(square);
  EXPECT_TRUE(sameBytes(square, bytes(2, 2, {'b', 'd', 'a', 'c'})));
  // Not square: result pixel (r, k) is source pixel (k, cols - 1 - r).
  cv::Mat wide = bytes(2, 3, {1, 2, 3, 4, 5, 6});
  job.rotate90(wide);
  EXPECT_TRUE(sameBytes(wide, bytes(3, 2, {3, 6, 2, 5, 1, 4})));

  const cv::Mat original = randomImage(131, 131, CV_8UC3);  // not a multiple of the tile
  cv::Mat image = original.clone();
  for (int turn = 0; turn < 4; ++turn) {
    job.rotate90(image);
    EXPECT_EQ(sameBytes(image, original), turn == 3) << "turn " << turn;
  }
}

TEST(RotateImage, IdentityKeepsAllButTheLastRowAndColumn) {
  ExtrinsicCalibration job;
  const cv::Mat I = cv::Mat::eye(3, 3, CV_64F);
  for (int type : {CV_8UC1, CV_8UC3}) {
    const cv::Mat original = randomImage(23, 37, type);
    cv::Mat image = original.clone();
    job.rotateImage(image, I, I);
    const cv::Rect inner(0, 0, 36, 22);
    EXPECT_TRUE(sameBytes(image(inner), original(inner)));
    EXPECT_EQ(cv::countNonZero(image.col(36).reshape(1)), 0);
    EXPECT_EQ(cv::countNonZero(image.row(22).reshape(1)), 0);
  }
}

TEST(RotateImage, EverythingOutsideGivesZeros) {
  ExtrinsicCalibration job;
  // A quarter turn about the vertical axis with a long focal length: every pixel of the
  // result looks far beside the source, or along its image plane (w = 0 in the middle).
  const cv::Mat R = (cv::Mat_<double>(3, 3) << 0, 0, -1, 0, 1, 0, 1, 0, 0);
  const cv::Mat K = (cv::Mat_<double>(3, 3) << 1000, 0, 10, 0, 1000, 10, 0, 0, 1);
  cv::Mat image(20, 20, CV_8U, cv::Scalar(200));
  job.rotateImage(image, R, K);
  EXPECT_EQ(image.size(), cv::Size(20, 20));
  EXPECT_EQ(cv::countNonZero(image), 0);
}

TEST(RotateImage, ExtrapolatesBetweenMinusOneAndZeroAndClampsTheValue) {
  ExtrinsicCalibration job;
  const cv::Mat I = cv::Mat::eye(3, 3, CV_64F);
  // Columns 0 and 1 hold a and b; column 0 of the result samples u = -0.5, which truncates
  // to 0 and extrapolates with the weights 1.5 and -0.5.
  const auto column0 = [&](uchar a, uchar b) {
    cv::Mat image(4, 3, CV_8U, cv::Scalar(0));
    image.col(0).setTo(a);
    image.col(1).setTo(b);
    job.rotateImage(image, translation(-0.5, 0.0), I);
    return image.at<uchar>(1, 0);
  };
  EXPECT_EQ(column0(100, 60), 120);  // 1.5 * 100 - 0.5 * 60
  EXPECT_EQ(column0(100, 61), 119);  // 119.5 truncated toward zero
  EXPECT_EQ(column0(0, 200), 0);     // -100 is held at 0 (its low byte would be 156)
  EXPECT_EQ(column0(255, 0), 255);   // 382.5 is held at 255 (its low byte would be 126)

  // A whole pixel to the left is outside: u = -1 truncates to -1.
  cv::Mat image(4, 3, CV_8U, cv::Scalar(90));
  job.rotateImage(image, translation(-1.0, 0.0), I);
  EXPECT_EQ(cv::countNonZero(image.col(0)), 0);
  EXPECT_EQ(image.at<uchar>(1, 1), 90);

  // The same band for rows.
  cv::Mat rows(3, 4, CV_8U, cv::Scalar(0));
  rows.row(0).setTo(100);
  rows.row(1).setTo(60);
  job.rotateImage(rows, translation(0.0, -0.5), I);
  EXPECT_EQ(rows.at<uchar>(0, 1), 120);
}

TEST(RotateImage, ColumnsOfTheWarpAloneAndZerosBeside) {
  ExtrinsicCalibration job;
  const cv::Mat K = (cv::Mat_<double>(3, 3) << 80, 0, 100, 0, 80, 75, 0, 0, 1);
  const cv::Mat input = randomImage(150, 200, CV_8U);
  cv::Mat whole = input.clone();
  job.rotateImage(whole, pairRotation(), K);
  cv::Mat strip = input.clone();
  job.rotateImageColumns(strip, pairRotation(), K, cv::Range(70, 130));
  EXPECT_TRUE(sameBytes(strip.colRange(70, 130), whole.colRange(70, 130)));
  EXPECT_GT(cv::countNonZero(strip.colRange(70, 130)), 0);
  EXPECT_EQ(cv::countNonZero(strip.colRange(0, 70)) + cv::countNonZero(strip.colRange(130, 200)), 0);
}

TEST(ImageOrientation, SameBytesOnAnyThreadCount) {
  ExtrinsicCalibration job;
  const cv::Mat K = (cv::Mat_<double>(3, 3) << 80, 0, 100, 0, 80, 75, 0, 0, 1);
  const cv::Mat input = randomImage(150, 200, CV_8UC3);
  const auto run = [&](int threads) {
    const int previous = cv::getNumThreads();
    cv::setNumThreads(threads);
    cv::Mat turned = input.clone();
    job.rotate90(turned);
    cv::Mat warped = input.clone();
    job.rotateImage(warped, pairRotation(), K);
    cv::setNumThreads(previous);
    return std::make_pair(turned, warped);
  };
  const auto serial = run(1);
  const auto parallel = run(cv::getNumThreads());
  EXPECT_TRUE(sameBytes(serial.first, parallel.first));
  EXPECT_TRUE(sameBytes(serial.second, parallel.second));
}

TEST(RotatePoints, InvertedByTheTransposeAndLandingWhereTheWarpSampled) {
  ExtrinsicCalibration job;
  const cv::Mat K = targetCameraMatrix();
  const cv::Mat P = pairRotation();
  std::vector<cv::Point2f> points;
  for (int k = 0; k < 200; ++k) points.emplace_back(18.f * k, 3600.f - 17.f * k);
  std::vector<cv::Point2f> mapped = points;
  job.rotatePoints(P, mapped, K);
  EXPECT_GT(cv::norm(mapped[0] - points[0]), 100.0);
  job.rotatePoints(P.t(), mapped, K);
  for (std::size_t k = 0; k < points.size(); ++k) EXPECT_LT(cv::norm(mapped[k] - points[k]), 2e-3);

  // A source whose value is its column: the warped value at p is the column that the warp
  // sampled, which rotatePoints must give for p.
  cv::Mat source(240, 250, CV_8U);
  for (int c = 0; c < source.cols; ++c) source.col(c).setTo(c);
  const cv::Mat Ksmall = (cv::Mat_<double>(3, 3) << 300, 0, 125, 0, 300, 120, 0, 0, 1);
  cv::Mat warped = source.clone();
  job.rotateImage(warped, P.t(), Ksmall);
  int compared = 0;
  for (int y = 0; y < warped.rows; y += 7) {
    for (int x = 0; x < warped.cols; x += 7) {
      std::vector<cv::Point2f> p{cv::Point2f(static_cast<float>(x), static_cast<float>(y))};
      job.rotatePoints(P.t(), p, Ksmall);
      if (p[0].x < 1 || p[0].x > 248 || p[0].y < 1 || p[0].y > 238) continue;
      EXPECT_NEAR(warped.at<uchar>(y, x), p[0].x, 1.0) << x << "," << y;
      ++compared;
    }
  }
  EXPECT_GT(compared, 300);
}

TEST(PairRotation, UsesTheElevenDecimalPi) {
  const cv::Mat expected = (cv::Mat_<double>(3, 3) << 0.8660254037852547, 0,
                            -0.49999999999858646, 0, 1, 0, 0.49999999999858646, 0,
                            0.8660254037852547);
  EXPECT_EQ(cv::norm(pairRotation(), expected, cv::NORM_INF), 0.0);
}

}  // namespace
