#pragma once

#include <random>

#include <opencv2/imgproc.hpp>

#include "report/report_data.h"
#include "report/view_samples.h"
#include "tests/report/synthetic_ring.h"

namespace ringcalib::test {

// A textured grey image of `size` (random blobs), standing in for a camera view.
inline cv::Mat texturedView(std::mt19937& random, cv::Size size) {
  cv::Mat view(size, CV_8UC1, cv::Scalar(90));
  std::uniform_int_distribution<int> x(0, size.width - 1), y(0, size.height - 1), grey(0, 255);
  for (int i = 0; i < 200; ++i) {
    cv::circle(view, {x(random), y(random)}, 4 + grey(random) % 20, cv::Scalar(grey(random)), cv::FILLED);
  }
  return view;
}

// A report as an "all" run of a small rig fills it: six solved cameras with previews and
// six solved pairs of an exact ring, with strips, drawn matches and final errors.
inline report::CalibrationReport sampleReport(unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  report::CalibrationReport result;
  result.jobs = {{"intrinsic", 0}, {"extrinsic", 0}};
  for (int n = 0; n < 6; ++n) {
    report::CameraReport& camera = result.camera(n);
    report::IntrinsicReport intrinsic;
    intrinsic.framesRead = 240 + n;
    intrinsic.framesSampled = 60;
    intrinsic.framesPassingCheapTest = 41 + n;
    intrinsic.viewsAccepted = 30 + n;
    intrinsic.frameSize = cv::Size(1600, 1200);
    intrinsic.solved = true;
    intrinsic.rmsError = 0.1 + 0.1 * unit(random);
    for (int v = 0; v < intrinsic.viewsAccepted; ++v) {
      intrinsic.viewRmsErrors.push_back(0.05 + 0.3 * unit(random));
      for (int c = 0; c < 50; ++c) {
        intrinsic.corners.push_back({cv::Point2f(static_cast<float>(1600 * unit(random)),
                                                 static_cast<float>(1200 * unit(random))),
                                     static_cast<float>(1.5 * unit(random))});
      }
    }
    intrinsic.cornersKept = static_cast<int>(intrinsic.corners.size());
    camera.intrinsic = intrinsic;
    camera.hasIntrinsics = true;
    camera.K = cv::Matx33d(700.0 + unit(random), 0, 800.0 + unit(random), 0, 701.0 + unit(random),
                           600.0 + unit(random), 0, 0, 1);
    camera.D = cv::Vec4d(0.01 * unit(random), -0.002 * unit(random), 1e-4 * unit(random), -1e-5);
    camera.preview = report::reducedPreview(texturedView(random, cv::Size(900, 900)));
  }
  const auto rotations = exactRing(random, 0.05);
  for (int k = 0; k < 6; ++k) {
    report::PairReport& pair = result.pair(k);
    pair.correspondences = 5000 + 7 * k;
    pair.consistentWithF = 4900 + k;
    pair.solved = true;
    pair.R = rotations[k];
    pair.anglesDeg = cv::Vec3d(0.1 * k, 60.0 - 0.01 * k, -0.2);
    pair.t = cv::normalize(cv::Vec3d(0.86, 0.01 * k, -0.5));
    pair.medianError = 0.2 + 0.01 * k;
    for (int i = 0; i < 500; ++i) pair.finalErrors.push_back(0.6 * unit(random));
    const cv::Mat first = texturedView(random, cv::Size(400, 600));
    const cv::Mat second = texturedView(random, cv::Size(400, 600));
    std::vector<cv::Point2f> pts1, pts2;
    for (int i = 0; i < 100; ++i) {
      pts1.emplace_back(static_cast<float>(140 + 120 * unit(random)), static_cast<float>(600 * unit(random)));
      pts2.push_back(pts1.back() + cv::Point2f(3.0f, 1.0f));
    }
    report::recordStrips(pair, first, second, 140, 120, pts1, pts2);
  }
  return result;
}

}  // namespace ringcalib::test
