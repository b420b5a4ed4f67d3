#include "adjust/lens_prior.h"

#include <algorithm>
#include <cmath>

#include <ceres/autodiff_cost_function.h>

namespace ringcalib::adjust {

namespace {

constexpr double kHeldVariance = 1e-12;  // relative to the covariance's largest eigenvalue

struct LensPrior {
  explicit LensPrior(const rig::LensCovariance& W) : W(W) {}

  template <typename T>
  bool operator()(const T* step, T* residual) const {
    for (int r = 0; r < rig::kLensParameters; ++r) {
      residual[r] = T(0.0);
      for (int k = 0; k < rig::kLensParameters; ++k) residual[r] += W(r, k) * step[k];
    }
    return true;
  }

  rig::LensCovariance W;
};

// W with W^T W = information, from the eigenvectors of the (symmetric) information.
rig::LensCovariance rootOf(const rig::LensCovariance& information) {
  cv::Mat values;
  cv::Mat vectors;
  cv::eigen(cv::Mat(information), values, vectors);
  rig::LensCovariance W;
  for (int r = 0; r < rig::kLensParameters; ++r) {
    const double root = std::sqrt(std::max(0.0, values.at<double>(r)));
    for (int k = 0; k < rig::kLensParameters; ++k) W(r, k) = root * vectors.at<double>(r, k);
  }
  return W;
}

}  // namespace

LensInformation lensInformation(const UncertainLenses& lenses, double variance) {
  LensInformation information(lenses.size());
  for (std::size_t n = 0; n < lenses.size(); ++n) {
    cv::Mat values;
    cv::Mat vectors;
    cv::eigen(cv::Mat(lenses[n].covariance), values, vectors);
    const double floor = kHeldVariance * std::max(values.at<double>(0), 0.0);
    cv::Mat inverse = cv::Mat::zeros(rig::kLensParameters, rig::kLensParameters, CV_64F);
    for (int k = 0; k < rig::kLensParameters; ++k) {
      inverse += vectors.row(k).t() * vectors.row(k) / std::max(values.at<double>(k), floor);
    }
    information[n] = rig::LensCovariance(inverse) * variance;
  }
  return information;
}

void addLensPriors(ceres::Problem& problem, const LensInformation& information, LensSteps& steps) {
  for (std::size_t n = 0; n < information.size(); ++n) {
    problem.AddResidualBlock(
        new ceres::AutoDiffCostFunction<LensPrior, rig::kLensParameters, rig::kLensParameters>(new LensPrior(rootOf(information[n]))),
        nullptr, steps[n].val);
  }
}

}  // namespace ringcalib::adjust
