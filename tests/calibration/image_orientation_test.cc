#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "calibration/extrinsic_calibration.h"
#include "calibration/extrinsic_geometry.h"

namespace {

using ringcalib::extrinsic::pairRotation;
using ringcalib::extrinsic::targetCameraMatrix;

cv::Mat randomImage(int rows, int cols, int type, int seed) {
  cv::Mat image(rows, cols, type);
  cv::RNG rng(seed);
  rng.fill(image, cv::RNG::UNIFORM, 0, 256);
  return image;
}

cv::Mat bytes(int rows, int cols, std::vector<uchar> values) {
  return cv::Mat(rows, cols, CV_8U, values.data()).clone();
}

bool sameBytes(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// A matrix that moves every pixel by (dx, dy): with K = I it is the warp's H itself.
cv::Mat translation(double dx, double dy) {
  return (cv::Mat_<double>(3, 3) << 1, 0, dx, 0, 1, dy, 0, 0, 1);
}

// Runs `operation` on one thread and on all of them; the bytes must agree.
template <typename Operation>
void expectSameOnAllThreadCounts(const cv::Mat& input, Operation operation) {
  const int threads = cv::getNumThreads();
  cv::setNumThreads(1);
  cv::Mat serial = input.clone();
  operation(serial);
  cv::setNumThreads(std::max(threads, 4));
  cv::Mat parallel = input.clone();
  operation(parallel);
  cv::setNumThreads(threads);
  EXPECT_TRUE(sameBytes(serial, parallel));
}

TEST(SetNonZero, RaisesZerosAndKeepsEveryOtherValue) {
  ExtrinsicCalibration job;
  cv::Mat zeros = cv::Mat::zeros(7, 5, CV_8UC3);
  job.setNonZero(zeros);
  EXPECT_TRUE(sameBytes(zeros, cv::Mat(7, 5, CV_8UC3, cv::Scalar::all(1))));

  cv::Mat ramp(1, 256, CV_8U);
  for (int v = 0; v < 256; ++v) ramp.at<uchar>(0, v) = static_cast<uchar>(v);
  job.setNonZero(ramp);
  EXPECT_EQ(ramp.at<uchar>(0, 0), 1);
  for (int v = 1; v < 256; ++v) EXPECT_EQ(ramp.at<uchar>(0, v), v);

  cv::Mat empty;
  job.setNonZero(empty);
  EXPECT_TRUE(empty.empty());
}

TEST(SetNonZero, ChangesOnlyTheViewOfALargerImage) {
  ExtrinsicCalibration job;
  cv::Mat whole = cv::Mat::zeros(6, 6, CV_8U);
  cv::Mat view = whole(cv::Rect(1, 2, 3, 2));
  job.setNonZero(view);
  EXPECT_EQ(cv::countNonZero(whole), 6);
  EXPECT_EQ(cv::countNonZero(view), 6);
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
}

TEST(Rotate90, FourTurnsGiveTheImageBack) {
  ExtrinsicCalibration job;
  for (int type : {CV_8UC1, CV_8UC3}) {
    const cv::Mat original = randomImage(131, 131, type, type);  // not a multiple of the tile
    cv::Mat image = original.clone();
    for (int turn = 0; turn < 4; ++turn) {
      job.rotate90(image);
      EXPECT_EQ(sameBytes(image, original), turn == 3) << "turn " << turn;
    }
  }
}

TEST(Rotate90, SameBytesOnAnyThreadCount) {
  ExtrinsicCalibration job;
  expectSameOnAllThreadCounts(randomImage(300, 200, CV_8UC1, 3),
                              [&](cv::Mat& image) { job.rotate90(image); });
}

TEST(RotateImage, IdentityKeepsAllButTheLastRowAndColumn) {
  ExtrinsicCalibration job;
  const cv::Mat I = cv::Mat::eye(3, 3, CV_64F);
  for (int type : {CV_8UC1, CV_8UC3}) {
    const cv::Mat original = randomImage(23, 37, type, 7);
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
  // Columns 0 and 1 hold a, b; the result samples half a pixel to the left, so column 0
  // reads u = -0.5: truncation gives 0 and the weights 1.5 and -0.5 extrapolate.
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

  // One pixel or more to the left is outside: u = -1 truncates to -1.
  cv::Mat image(4, 3, CV_8U, cv::Scalar(90));
  job.rotateImage(image, translation(-1.0, 0.0), I);
  EXPECT_EQ(cv::countNonZero(image.col(0)), 0);
  EXPECT_EQ(image.at<uchar>(1, 1), 90);

  // The same band exists for rows.
  cv::Mat rows(3, 4, CV_8U, cv::Scalar(0));
  rows.row(0).setTo(100);
  rows.row(1).setTo(60);
  job.rotateImage(rows, translation(0.0, -0.5), I);
  EXPECT_EQ(rows.at<uchar>(0, 1), 120);
}

TEST(RotateImage, SameBytesOnAnyThreadCount) {
  ExtrinsicCalibration job;
  const cv::Mat K = (cv::Mat_<double>(3, 3) << 80, 0, 100, 0, 80, 75, 0, 0, 1);
  expectSameOnAllThreadCounts(randomImage(150, 200, CV_8UC3, 5),
                              [&](cv::Mat& image) { job.rotateImage(image, pairRotation(), K); });
}

TEST(RotatePoints, TransposedRotationReturnsThePoints) {
  ExtrinsicCalibration job;
  const cv::Mat K = targetCameraMatrix();
  const cv::Mat P = pairRotation();
  std::vector<cv::Point2f> points;
  cv::RNG rng(11);
  for (int k = 0; k < 200; ++k) {
    points.emplace_back(rng.uniform(0.f, 3600.f), rng.uniform(0.f, 3600.f));
  }
  std::vector<cv::Point2f> mapped = points;
  job.rotatePoints(P, mapped, K);
  EXPECT_GT(cv::norm(mapped[0] - points[0]), 100.0);
  job.rotatePoints(P.t(), mapped, K);
  for (std::size_t k = 0; k < points.size(); ++k) {
    EXPECT_NEAR(mapped[k].x, points[k].x, 2e-3);
    EXPECT_NEAR(mapped[k].y, points[k].y, 2e-3);
  }

  std::vector<cv::Point2f> none;
  job.rotatePoints(P, none, K);
  EXPECT_TRUE(none.empty());
}

TEST(RotatePoints, LandsWhereTheWarpSampled) {
  ExtrinsicCalibration job;
  // A source whose value is its column: the warped value at p is then the column that
  // the warp sampled, which rotatePoints must reproduce from p.
  cv::Mat source(240, 250, CV_8U);
  for (int c = 0; c < source.cols; ++c) source.col(c).setTo(c);
  const cv::Mat K = (cv::Mat_<double>(3, 3) << 300, 0, 125, 0, 300, 120, 0, 0, 1);
  const cv::Mat R = pairRotation().t();
  cv::Mat warped = source.clone();
  job.rotateImage(warped, R, K);
  int compared = 0;
  for (int y = 0; y < warped.rows; y += 7) {
    for (int x = 0; x < warped.cols; x += 7) {
      std::vector<cv::Point2f> p{cv::Point2f(static_cast<float>(x), static_cast<float>(y))};
      job.rotatePoints(R, p, K);
      if (p[0].x < 1 || p[0].x > source.cols - 2 || p[0].y < 1 || p[0].y > source.rows - 2)
        continue;
      EXPECT_NEAR(warped.at<uchar>(y, x), p[0].x, 1.0) << x << "," << y;
      ++compared;
    }
  }
  EXPECT_GT(compared, 300);
}

TEST(PairRotation, UsesTheElevenDecimalPi) {
  const cv::Mat P = pairRotation();
  const cv::Mat expected = (cv::Mat_<double>(3, 3) << 0.8660254037852547, 0, -0.49999999999858646,
                            0, 1, 0, 0.49999999999858646, 0, 0.8660254037852547);
  EXPECT_EQ(cv::norm(P, expected, cv::NORM_INF), 0.0);
}

}  // namespace
