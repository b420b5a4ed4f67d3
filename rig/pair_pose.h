#pragma once

#include <opencv2/core.hpp>

// The relative pose of a pair and the measures on it (rig/ring.h states the convention).
namespace ringcalib::rig {

// X2 = R (X1 - t), |t| = 1: t is the second camera's centre in the first camera's frame.
struct PairPose {
  cv::Matx33d R;
  cv::Vec3d t;
};

// The angle of a rotation in degrees: atan2(|axis part| / 2, (trace - 1) / 2), which
// keeps its precision near 0 where acos of the trace would not.
double rotationAngleDeg(const cv::Matx33d& R);

// The angle in degrees of R_a R_b^T, the turn that takes R_b to R_a.
double rotationErrorDeg(const cv::Matx33d& Ra, const cv::Matx33d& Rb);

// The angle in degrees between two directions of any length (not zero), from
// atan2(|a x b|, a . b): accurate also for tiny angles, where acos loses half the digits.
double directionErrorDeg(const cv::Vec3d& a, const cv::Vec3d& b);

// The signed first-order (Sampson) distance in pixels of the correspondence x1 <-> x2 from
// the epipolar geometry x2^T F x1 = 0:
//   d = x2^T F x1 / sqrt((F x1)_0^2 + (F x1)_1^2 + (F^T x2)_0^2 + (F^T x2)_1^2).
double sampsonError(const cv::Matx33d& F, const cv::Point2d& x1, const cv::Point2d& x2);

// The fundamental matrix of a pose between two views of camera matrix K:
// F = K^-T R [t]x K^-1, since X2 = R (X1 - t) gives x2^T R [t]x x1 = 0.
cv::Matx33d fundamentalOfPose(const cv::Matx33d& K, const PairPose& pose);

// The file's convention (rig/ring.h): the pairwise path takes (1800, 1800) as the prepared
// views' principal point, whose true row is 1799, so its frames are the geometric prepared
// frames turned by Q, atan(1 / 550) about x (X_file = Q X_geometric). A geometric pose
// (R, t) is (Q R Q^T, Q t) in the file's convention, and back.
cv::Matx33d fileConventionTurn();
PairPose toFileConvention(const PairPose& geometric);
PairPose fromFileConvention(const PairPose& file);

}  // namespace ringcalib::rig
