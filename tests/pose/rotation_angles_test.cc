#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "pose/cpose.h"

namespace {

cv::Matx33d rotationAbout(int axis, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  if (axis == 0) return cv::Matx33d(1, 0, 0, 0, c, -s, 0, s, c);
  if (axis == 1) return cv::Matx33d(c, 0, s, 0, 1, 0, -s, 0, c);
  return cv::Matx33d(c, -s, 0, s, c, 0, 0, 0, 1);
}

cv::Mat matrixOf(double x, double y, double z) {
  cv::Mat R;
  CPose().eulerToRotation(x, y, z, R);
  return R;
}

TEST(EulerToRotation, IsTheTransposeOfRzRyRx) {
  const CPose pose;
  EXPECT_EQ(cv::norm(matrixOf(0, 0, 0), cv::Mat::eye(3, 3, CV_64F), cv::NORM_INF), 0.0);

  const cv::Mat R = matrixOf(0.3, -0.2, 0.7);
  EXPECT_NEAR(R.at<double>(0, 0), std::cos(0.2) * std::cos(0.7), 1e-15);
  EXPECT_NEAR(R.at<double>(0, 1), std::cos(0.2) * std::sin(0.7), 1e-15);
  EXPECT_NEAR(R.at<double>(0, 2), std::sin(0.2), 1e-15);
  const cv::Matx33d expected =
      (rotationAbout(2, 0.7) * rotationAbout(1, -0.2) * rotationAbout(0, 0.3)).t();
  EXPECT_LT(cv::norm(R, cv::Mat(expected), cv::NORM_INF), 1e-15);
  EXPECT_EQ(pose.errorR(R, 0.3, -0.2, 0.7), 0.0);
}

TEST(EulerToRotation, WritesIntoASubMatrixInPlace) {
  cv::Mat big = cv::Mat::zeros(5, 6, CV_64F);
  cv::Mat view = big(cv::Rect(2, 1, 3, 3));
  CPose().eulerToRotation(0.1, 0.2, 0.3, view);
  EXPECT_EQ(view.data, big.ptr(1, 2));
  EXPECT_EQ(cv::norm(big(cv::Rect(2, 1, 3, 3)), matrixOf(0.1, 0.2, 0.3), cv::NORM_INF), 0.0);
  EXPECT_EQ(big.at<double>(0, 0), 0.0);
  EXPECT_EQ(big.at<double>(4, 5), 0.0);

  double x, y, z;
  CPose().rotationToEuler(view, x, y, z);
  EXPECT_NEAR(x, 0.1, 1e-14);
  EXPECT_NEAR(y, 0.2, 1e-14);
  EXPECT_NEAR(z, 0.3, 1e-14);
}

TEST(ErrorR, IsTheL1DistanceOfTheMatrices) {
  const CPose pose;
  cv::Mat R = matrixOf(0.4, 0.1, -0.3);
  R.at<double>(0, 1) += 0.25;
  R.at<double>(2, 2) -= 0.125;
  R.at<double>(1, 0) += 0.5;
  EXPECT_NEAR(pose.errorR(R, 0.4, 0.1, -0.3), 0.875, 1e-15);
}

TEST(RotationToEuler, InvertsEulerToRotationInsideTheRange) {
  const CPose pose;
  for (uint64_t seed = 1; seed <= 5; ++seed) {
    cv::RNG rng(seed);
    for (int k = 0; k < 200; ++k) {
      const double limit = CPose::HALF_PI - 1e-3;
      const double x = rng.uniform(-limit, limit), y = rng.uniform(-limit, limit),
                   z = rng.uniform(-limit, limit);
      double rx, ry, rz;
      pose.rotationToEuler(matrixOf(x, y, z), rx, ry, rz);
      // asin loses precision near +-90 degrees: 1e-3 away, about 1e-13 rad.
      EXPECT_NEAR(rx, x, 1e-11) << "seed " << seed;
      EXPECT_NEAR(ry, y, 1e-11) << "seed " << seed;
      EXPECT_NEAR(rz, z, 1e-11) << "seed " << seed;
    }
  }
}

TEST(RotationToEuler, KeepsEveryAngleWithinNinetyDegrees) {
  const CPose pose;
  double x, y, z;
  // The exact alternative (2.0, 0.1, 0.2) has |x| > HALF_PI and is rejected, though its
  // error is zero; the in-range triple does not reproduce the matrix.
  const cv::Mat R = matrixOf(2.0, 0.1, 0.2);
  pose.rotationToEuler(R, x, y, z);
  EXPECT_NEAR(x, 2.0 - CV_PI, 1e-12);
  EXPECT_NEAR(y, 0.1, 1e-12);
  EXPECT_NEAR(z, 0.2, 1e-12);
  EXPECT_NEAR(pose.errorR(R, x, y, z), 5.84, 0.01);

  pose.rotationToEuler(matrixOf(0.1, 2.0, 0.2), x, y, z);
  EXPECT_NEAR(x, 0.1, 1e-12);
  EXPECT_NEAR(y, CV_PI - 2.0, 1e-12);
  EXPECT_NEAR(z, 0.2, 1e-12);
}

TEST(RotationToEuler, UsesTheElevenDecimalPiAtTheBoundary) {
  const CPose pose;
  // A quarter turn about z whose R00 is a tiny negative number: atan gives z0 = -pi/2, and
  // the alternative z0 + PI lies about 1e-11 below pi/2. It reproduces R and passes the
  // strict range test only because PI and HALF_PI are the eleven-decimal constants.
  cv::Mat R = matrixOf(0.0, 0.0, CV_PI / 2);
  R.at<double>(0, 0) = -1e-17;
  double x, y, z;
  pose.rotationToEuler(R, x, y, z);
  EXPECT_EQ(z, -CV_PI / 2 + 3.14159265358);
  EXPECT_EQ(x, 0.0);
  EXPECT_EQ(y, 0.0);
}

TEST(RotationToEuler, GivesNanForAnOutOfRangeSine) {
  const CPose pose;
  cv::Mat R = matrixOf(0.3, 0.2, 0.1);
  R.at<double>(0, 2) = 1.0 + 1e-9;
  double x, y, z;
  pose.rotationToEuler(R, x, y, z);
  EXPECT_TRUE(std::isnan(y));
  // All errors are NaN, so the first candidate (x0, NaN, z0) is returned unchanged.
  EXPECT_DOUBLE_EQ(x, std::atan(R.at<double>(1, 2) / R.at<double>(2, 2)));
  EXPECT_DOUBLE_EQ(z, std::atan(R.at<double>(0, 1) / R.at<double>(0, 0)));
}

TEST(RotationAngles, RefuseAMatrixOfTheWrongSize) {
  const CPose pose;
  double x, y, z;
  EXPECT_THROW(pose.rotationToEuler(cv::Mat(), x, y, z), cv::Exception);
  EXPECT_THROW(pose.errorR(cv::Mat::eye(2, 3, CV_64F), 0, 0, 0), cv::Exception);
}

}  // namespace
