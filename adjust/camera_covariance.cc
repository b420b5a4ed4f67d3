#include "adjust/camera_covariance.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <ceres/cost_function.h>
#include <ceres/manifold.h>
#include <ceres/sphere_manifold.h>

namespace ringcalib::adjust {

namespace {

constexpr double kHeldPoint = 1e-9;     // eigenvalue relative to the point block's largest
constexpr double kHeldCameras = 1e-12;  // eigenvalue relative to the cameras' largest

// The columns of a ring of N cameras: cameras 1 ... N - 1's rotations, then their centres,
// camera 1's moving on the sphere (two tangent directions): 6 (N - 1) - 1 tangent
// parameters; then, with the intrinsics, each camera's, camera 0's first.
struct Columns {
  int cameras;
  int rotations() const { return 3 * (cameras - 1); }
  int tangent() const { return 6 * (cameras - 1) - 1; }
  int rotation(int camera) const { return 3 * (camera - 1); }
  int centre(int camera) const { return camera == 1 ? rotations() : rotations() + 2 + 3 * (camera - 2); }
  int lens(int camera) const { return tangent() + rig::kLensParameters * camera; }
  int lensColumns() const { return rig::kLensParameters * cameras; }
};
int centreSize(int camera) { return camera == 1 ? 2 : 3; }

// The pseudo-inverse of a symmetric positive semi-definite matrix: inverted along the
// directions it holds, nothing along the others.
cv::Mat heldInverse(const cv::Mat& H, double relative) {
  cv::Mat values;
  cv::Mat vectors;
  cv::eigen(H, values, vectors);
  const double largest = values.at<double>(0);
  cv::Mat inverse = cv::Mat::zeros(H.size(), CV_64F);
  for (int k = 0; k < values.rows; ++k) {
    const double v = values.at<double>(k);
    if (v > relative * largest) inverse += vectors.row(k).t() * vectors.row(k) / v;
  }
  return inverse;
}

// Whether the observation's error also depends on its camera's intrinsics.
bool seesLens(const ceres::Problem& problem, const ObservationBlock& o) {
  return problem.GetCostFunctionForResidualBlock(o.id)->parameter_block_sizes().size() == 4;
}

}  // namespace

bool cameraCovariance(const ceres::Problem& problem, const std::vector<TrackBlocks>& tracks,
                      const std::vector<ShapeBlock>& shapes, const RingParameters& ring,
                      const LensInformation* lenses, cv::Mat& covariance) {
  const Columns at{ring.cameras()};
  const int tangentColumns = at.tangent();
  const int size = tangentColumns + (lenses == nullptr ? 0 : at.lensColumns());
  cv::Mat S = cv::Mat::zeros(size, size, CV_64F);
  for (const TrackBlocks& track : tracks) {
    // The track's camera columns, each camera's rotation then centre, then the intrinsics of
    // the cameras whose observations depend on them.
    std::vector<int> columns;
    for (const ObservationBlock& o : track) {
      if (o.camera == 0) continue;
      for (int k = 0; k < 3; ++k) columns.push_back(at.rotation(o.camera) + k);
      for (int k = 0; k < centreSize(o.camera); ++k) columns.push_back(at.centre(o.camera) + k);
    }
    int lensColumns = static_cast<int>(columns.size());
    for (const ObservationBlock& o : track) {
      if (lenses == nullptr || !seesLens(problem, o)) continue;
      for (int k = 0; k < rig::kLensParameters; ++k) columns.push_back(at.lens(o.camera) + k);
    }
    const int rows = 3 * static_cast<int>(track.size());
    cv::Mat A = cv::Mat::zeros(rows, static_cast<int>(columns.size()), CV_64F);
    cv::Mat B(rows, 3, CV_64F);
    int column = 0;
    for (std::size_t i = 0; i < track.size(); ++i) {
      const ObservationBlock& o = track[i];
      std::array<double, 9> rotation;
      std::array<double, 9> centre;
      std::array<double, 9> point;
      std::array<double, 3 * rig::kLensParameters> lens;
      const bool withLens = lenses != nullptr && seesLens(problem, o);
      double* jacobians[4] = {o.camera == 0 ? nullptr : rotation.data(),
                              o.camera == 0 ? nullptr : centre.data(), point.data(),
                              withLens ? lens.data() : nullptr};
      double cost = 0.0;
      std::array<double, 3> residual;
      if (!problem.EvaluateResidualBlock(o.id, true, &cost, residual.data(), jacobians)) return false;
      for (int r = 0; r < 3; ++r) {
        const int row = 3 * static_cast<int>(i) + r;
        for (int k = 0; k < 3; ++k) B.at<double>(row, k) = point[3 * r + k];
        if (withLens) {
          for (int k = 0; k < rig::kLensParameters; ++k) A.at<double>(row, lensColumns + k) = lens[rig::kLensParameters * r + k];
        }
        if (o.camera == 0) continue;
        const int size = centreSize(o.camera);
        for (int k = 0; k < 3; ++k) A.at<double>(row, column + k) = rotation[3 * r + k];
        for (int k = 0; k < size; ++k) A.at<double>(row, column + 3 + k) = centre[size * r + k];
      }
      if (o.camera != 0) column += 3 + centreSize(o.camera);
      if (withLens) lensColumns += rig::kLensParameters;
    }
    if (columns.empty()) continue;
    const cv::Mat coupling = A.t() * B;
    const cv::Mat reduced = A.t() * A - coupling * heldInverse(B.t() * B, kHeldPoint) * coupling.t();
    for (int a = 0; a < reduced.rows; ++a) {
      for (int b = 0; b < reduced.cols; ++b) S.at<double>(columns[a], columns[b]) += reduced.at<double>(a, b);
    }
  }
  for (const ShapeBlock& shape : shapes) {
    std::vector<int> columns;
    std::array<std::array<double, 3>, 3> jacobian;
    double* jacobians[3];
    for (int k = 0; k < 3; ++k) {
      const int camera = shape.cameras[k];
      jacobians[k] = camera == 0 ? nullptr : jacobian[k].data();
    }
    double cost = 0.0;
    double residual = 0.0;
    if (!problem.EvaluateResidualBlock(shape.id, false, &cost, &residual, jacobians)) return false;
    std::vector<double> row;
    for (int k = 0; k < 3; ++k) {
      const int camera = shape.cameras[k];
      if (camera == 0) continue;
      for (int c = 0; c < centreSize(camera); ++c) {
        columns.push_back(at.centre(camera) + c);
        row.push_back(jacobian[k][c]);
      }
    }
    for (std::size_t a = 0; a < columns.size(); ++a) {
      for (std::size_t b = 0; b < columns.size(); ++b) S.at<double>(columns[a], columns[b]) += row[a] * row[b];
    }
  }
  cv::Mat cameras = S(cv::Range(0, tangentColumns), cv::Range(0, tangentColumns)).clone();
  cv::Mat values;
  cv::eigen(cameras, values);
  if (!(values.at<double>(tangentColumns - 1) > kHeldCameras * values.at<double>(0))) return false;
  if (lenses != nullptr) {
    // The intrinsics eliminated as the points were, their block held by the boards' knowledge
    // (positive definite, so the cameras stay held).
    cv::Mat lensBlock = S(cv::Range(tangentColumns, size), cv::Range(tangentColumns, size)).clone();
    for (int n = 0; n < at.cameras; ++n) {
      lensBlock(cv::Rect(rig::kLensParameters * n, rig::kLensParameters * n, rig::kLensParameters, rig::kLensParameters)) +=
          cv::Mat((*lenses)[n]);
    }
    const cv::Mat coupling = S(cv::Range(0, tangentColumns), cv::Range(tangentColumns, size));
    cameras = cameras - coupling * lensBlock.inv(cv::DECOMP_CHOLESKY) * coupling.t();
  }
  const cv::Mat tangent = cameras.inv(cv::DECOMP_CHOLESKY);

  // Back to the free parameters: camera 1's centre through the sphere's tangent basis.
  const int free = ring.freeParameters();
  const int camera1 = at.rotations();
  cv::Mat lift = cv::Mat::zeros(free, tangentColumns, CV_64F);
  for (int k = 0; k < camera1; ++k) lift.at<double>(k, k) = 1.0;
  for (int k = camera1 + 3; k < free; ++k) lift.at<double>(k, k - 1) = 1.0;
  std::array<double, 6> basis;
  ceres::SphereManifold<3>().PlusJacobian(ring.centres[1].val, basis.data());
  for (int r = 0; r < 3; ++r) {
    for (int k = 0; k < 2; ++k) lift.at<double>(camera1 + r, camera1 + k) = basis[2 * r + k];
  }
  covariance = lift * tangent * lift.t();
  return true;
}

}  // namespace ringcalib::adjust
