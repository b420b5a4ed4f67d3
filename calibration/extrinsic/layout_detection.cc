// The ring's layout from its stills: a few thousand features per still are enough, and
// they are found on a reduced copy, so this costs a fraction of one pair's dense flow.
#include "calibration/extrinsic/layout_detection.h"

#include <algorithm>
#include <cmath>

#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include "pose/angles.h"

namespace ringcalib::extrinsic {
namespace {

constexpr int kReducedWidth = 1280;     // features are found on a copy at most this wide
constexpr int kFeatures = 5000;
constexpr double kRatioTest = 0.8;      // best match against the second best
constexpr int kDarkLevel = 12;          // outside the image circle, and a margin inside it:
constexpr int kRimMarginPx = 15;        // the rim's own edge is the same in every still
constexpr double kInlierDeg = 3.0;      // near objects move a few degrees between neighbours
constexpr double kSpacingSlackDeg = 25.0;
constexpr int kIterations = 1000;
constexpr int kMinInliers = 15;
constexpr double kUpAgreementDeg = 15.0;

struct StillFeatures {
  std::vector<cv::Vec3d> rays;  // unit, in the camera's sensor frame
  cv::Mat descriptors;
};

StillFeatures featuresOf(const cv::Mat& still, const rig::FisheyeCamera& camera) {
  const double scale = std::min(1.0, static_cast<double>(kReducedWidth) / still.cols);
  cv::Mat reduced;
  cv::resize(still, reduced, cv::Size(), scale, scale, cv::INTER_AREA);
  cv::Mat mask = reduced > kDarkLevel;
  cv::erode(mask, mask,
            cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * kRimMarginPx + 1, 2 * kRimMarginPx + 1)));
  std::vector<cv::KeyPoint> points;
  cv::Mat descriptors;
  cv::ORB::create(kFeatures)->detectAndCompute(reduced, mask, points, descriptors);
  const rig::FisheyeLens lens(camera);
  StillFeatures features;
  for (std::size_t k = 0; k < points.size(); ++k) {
    cv::Vec3d ray;
    if (!lens.unproject(points[k].pt.x / scale, points[k].pt.y / scale, ray)) continue;
    features.rays.push_back(ray);
    features.descriptors.push_back(descriptors.row(static_cast<int>(k)));
  }
  return features;
}

// The rotation R that best takes the rays a onto the rays b (b ~ R a), by the SVD of their
// correlation (Kabsch).
cv::Matx33d bestRotation(const std::vector<cv::Vec3d>& a, const std::vector<cv::Vec3d>& b) {
  cv::Matx33d correlation = cv::Matx33d::zeros();
  for (std::size_t k = 0; k < a.size(); ++k) correlation += b[k] * a[k].t();
  cv::Mat w, u, vt;
  cv::SVD::compute(cv::Mat(correlation), w, u, vt);
  const cv::Matx33d U(u), Vt(vt);
  cv::Matx33d reflection = cv::Matx33d::eye();
  if (cv::determinant(U * Vt) < 0.0) reflection(2, 2) = -1.0;
  return U * reflection * Vt;
}

struct PairTurn {
  cv::Matx33d turn;
  int matches = 0;
  int inliers = 0;
};

// RANSAC over pairs of matches: the turn of two rays, scored by the rays it takes within
// kInlierDeg of their matches, then refitted to all of those.
PairTurn fitTurn(const std::vector<cv::Vec3d>& a, const std::vector<cv::Vec3d>& b, double spacingDeg) {
  PairTurn result;
  result.matches = static_cast<int>(a.size());
  if (a.size() < 2) return result;
  const double agree = std::cos(kInlierDeg * kRadiansPerDegree);
  const auto inliersOf = [&](const cv::Matx33d& R) {
    int count = 0;
    for (std::size_t k = 0; k < a.size(); ++k) count += (R * a[k]).dot(b[k]) > agree;
    return count;
  };
  cv::RNG random(0x5eed);  // fixed: the same stills give the same layout
  cv::Matx33d best = cv::Matx33d::eye();
  for (int iteration = 0; iteration < kIterations; ++iteration) {
    const int p = random.uniform(0, result.matches);
    const int q = random.uniform(0, result.matches);
    if (p == q) continue;
    const cv::Matx33d R = bestRotation({a[p], a[q]}, {b[p], b[q]});
    if (std::abs(cv::norm(rotationVector(R)) * kDegreesPerRadian - spacingDeg) > kSpacingSlackDeg) continue;
    const int count = inliersOf(R);
    if (count > result.inliers) {
      result.inliers = count;
      best = R;
    }
  }
  std::vector<cv::Vec3d> inA, inB;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if ((best * a[k]).dot(b[k]) > agree) {
      inA.push_back(a[k]);
      inB.push_back(b[k]);
    }
  }
  result.turn = inA.size() >= 3 ? bestRotation(inA, inB) : best;
  return result;
}

}  // namespace

bool findRingLayout(const std::vector<cv::Mat>& stills, const std::vector<rig::FisheyeCamera>& lenses,
                    rig::RingLayout& layout, std::string& why) {
  const int cameras = static_cast<int>(stills.size());
  std::vector<StillFeatures> features(cameras);
  cv::parallel_for_(cv::Range(0, cameras), [&](const cv::Range& range) {
    for (int n = range.start; n < range.end; ++n) features[n] = featuresOf(stills[n], lenses[n]);
  });
  const double spacingDeg = 360.0 / cameras;
  const cv::BFMatcher matcher(cv::NORM_HAMMING);
  layout.up.assign(cameras, cv::Vec3d(0.0, 0.0, 0.0));
  layout.turns.assign(cameras, cv::Matx33d::eye());
  std::vector<PairTurn> turns(cameras);
  for (int n = 0; n < cameras; ++n) {
    const int next = (n + 1) % cameras;
    std::vector<cv::Vec3d> a, b;
    if (!features[n].descriptors.empty() && !features[next].descriptors.empty()) {
      std::vector<std::vector<cv::DMatch>> candidates;
      matcher.knnMatch(features[n].descriptors, features[next].descriptors, candidates, 2);
      for (const std::vector<cv::DMatch>& match : candidates) {
        if (match.size() < 2 || !(match[0].distance < kRatioTest * match[1].distance)) continue;
        a.push_back(features[n].rays[match[0].queryIdx]);
        b.push_back(features[next].rays[match[0].trainIdx]);
      }
    }
    turns[n] = fitTurn(a, b, spacingDeg);
  }
  // Going once around the ring the turns compose to the identity, so one pair whose overlap
  // shows too little (a plain wall) takes its turn from the others.
  const auto weak = [&](int n) { return turns[n].inliers < kMinInliers; };
  const int weakPairs = static_cast<int>(std::count_if(turns.begin(), turns.end(), [](const PairTurn& t) { return t.inliers < kMinInliers; }));
  for (int n = 0; n < cameras; ++n) {
    if (!weak(n)) continue;
    if (weakPairs > 1) {
      why = "pair " + std::to_string(n) + "-" + std::to_string((n + 1) % cameras) + ": only " +
            std::to_string(turns[n].inliers) + " of " + std::to_string(turns[n].matches) +
            " features matched between the two stills agree on a turn near " +
            std::to_string(static_cast<int>(std::lround(spacingDeg))) + " degrees (" + std::to_string(kMinInliers) +
            " needed), and another pair is short too: do the neighbours overlap, and is each camera's still its own?";
      return false;
    }
    cv::Matx33d around = cv::Matx33d::eye();
    for (int k = (n + 1) % cameras; k != n; k = (k + 1) % cameras) around = turns[k].turn * around;
    turns[n].turn = around.t();
  }
  std::vector<cv::Vec3d> pairUp(cameras);
  for (int n = 0; n < cameras; ++n) {
    layout.turns[n] = turns[n].turn;
    const cv::Vec3d axis = rotationVector(turns[n].turn);
    const double angleDeg = cv::norm(axis) * kDegreesPerRadian;
    if (std::abs(angleDeg - spacingDeg) > kSpacingSlackDeg) {
      why = "pair " + std::to_string(n) + "-" + std::to_string((n + 1) % cameras) + ": the neighbours are " +
            std::to_string(static_cast<int>(std::lround(angleDeg))) + " degrees apart, not about " +
            std::to_string(static_cast<int>(std::lround(spacingDeg))) + " as on a ring of " + std::to_string(cameras) +
            " cameras";
      return false;
    }
    pairUp[n] = axis / cv::norm(axis);  // the same in both cameras' frames: the turn keeps its axis
  }
  for (int n = 0; n < cameras; ++n) {
    const int previous = (n + cameras - 1) % cameras;
    const double disagreeDeg = std::acos(std::clamp(pairUp[n].dot(pairUp[previous]), -1.0, 1.0)) * kDegreesPerRadian;
    if (disagreeDeg > kUpAgreementDeg) {
      why = "camera " + std::to_string(n) + ": its pairs " + std::to_string(previous) + "-" + std::to_string(n) +
            " and " + std::to_string(n) + "-" + std::to_string((n + 1) % cameras) + " turn about axes " +
            std::to_string(static_cast<int>(std::lround(disagreeDeg))) +
            " degrees apart: the cameras do not stand on one ring";
      return false;
    }
    layout.up[n] = cv::normalize(pairUp[n] + pairUp[previous]);
  }
  return true;
}

}  // namespace ringcalib::extrinsic
