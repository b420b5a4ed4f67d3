// The image-library floor of the extrinsic job in a fresh process, as a user runs the job:
// reading the six stills, undistorting them, the twelve dense-flow calls and the fundamental
// matrices (RANSAC, then the refit to its inliers). Only those calls are timed; what the job
// itself adds (the quarter turn, the warps, sampling the flow, the pose) is done untimed here
// to give the calls their inputs. Prints the floor in seconds.
//
// Usage: extrinsic_cold_floor <image folder> <parameter file> [--lowered]
//        extrinsic_cold_floor --write-parameters <truth.json> <parameter file>
//   The second form writes the parameter file of a generated rig's truth intrinsics.
//   --lowered  the floor as low as the same calls go without changing a result: freed
//              memory kept for reuse as the job keeps it, the undistortion maps reused, two
//              cameras undistorted at a time, each pair's two flows computed at the same time. (A flow object is not reused: the DIS flow
//              of OpenCV 4.6 computes another flow in an object that has computed one.)
#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/video/tracking.hpp>

#include "calibration/extrinsic/dense_flow_matches.h"
#include "calibration/extrinsic/pair_steps.h"
#include "calibration/extrinsic/image_orientation.h"
#include "core/process_settings.h"
#include "core/result_code.h"
#include "rig/parameter_document.h"
#include "rig/prepared_view.h"
#include "rig/ring.h"
#include "tools/truth_file.h"

namespace {

using namespace ringcalib::rig;
using Clock = std::chrono::steady_clock;

double gFloorSeconds = 0.0;

template <typename Call>
void timed(Call call) {
  const Clock::time_point start = Clock::now();
  call();
  gFloorSeconds += std::chrono::duration<double>(Clock::now() - start).count();
}

void readIntrinsics(const std::string& file, int n, cv::Matx33d& K, cv::Vec4d& D) {
  ringcalib::rig::ParameterDocument document;
  std::ifstream in;
  if (document.load(in, file) != ringcalib::kSuccess) throw std::runtime_error("cannot read " + file);
  const ringcalib::rig::FisheyeCamera still = document.camera(n).scaledToStill();
  K = still.K;
  D = still.D;
}

// The job's forward-backward sampling of the flows, without its tolerances' fine points.
void sampleMatches(const cv::Mat& forward, const cv::Mat& backward, int x0,
                   std::vector<cv::Point2f>& pts1, std::vector<cv::Point2f>& pts2) {
  for (int y = 0; y < forward.rows; y += 5) {
    for (int x = 0; x < forward.cols; x += 5) {
      const cv::Vec2f f = forward.at<cv::Vec2f>(y, x);
      const int xi = x + static_cast<int>(f[0]);
      const int yi = y + static_cast<int>(f[1]);
      if (xi <= 0 || xi >= forward.cols - 1 || yi <= 0 || yi >= forward.rows - 1) continue;
      const cv::Vec2f b = backward.at<cv::Vec2f>(yi, xi);
      if (std::abs(b[0] + f[0]) > 1.0f || std::abs(b[1] + f[1]) > 1.0f) continue;
      pts1.emplace_back(static_cast<float>(x0 + x), static_cast<float>(y));
      pts2.emplace_back(x + f[0] + x0, y + f[1]);
    }
  }
}

void fundamental(const std::vector<cv::Point2f>& pts1, const std::vector<cv::Point2f>& pts2) {
  cv::Mat inliers;
  cv::Mat F;
  timed([&] { F = cv::findFundamentalMat(pts1, pts2, cv::FM_RANSAC,
                                           ringcalib::extrinsic::kRansacThresholdPx,
                                           ringcalib::extrinsic::kRansacConfidence, inliers); });
  std::vector<cv::Point2f> in1;
  std::vector<cv::Point2f> in2;
  for (std::size_t k = 0; k < pts1.size(); ++k) {
    if (inliers.at<uchar>(static_cast<int>(k)) == 0) continue;
    in1.push_back(pts1[k]);
    in2.push_back(pts2[k]);
  }
  timed([&] { F = cv::findFundamentalMat(in1, in2, cv::FM_8POINT); });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--write-parameters") == 0) {
    return ringcalib::synth::truthParameterDocument(ringcalib::synth::readTruthFile(argv[2])).write(argv[3]);
  }
  if (argc < 3) {
    std::cerr << "usage: extrinsic_cold_floor <image folder> <parameter file> [--lowered]\n";
    return 1;
  }
  const std::string images = argv[1];
  const std::string file = argv[2];
  const bool lowered = argc > 3 && std::strcmp(argv[3], "--lowered") == 0;
  if (lowered) ringcalib::keepFreedMemory();
  const cv::Mat Knew(targetCamera());
  const cv::Size viewSize(kViewSize, kViewSize);

  std::array<cv::Mat, kCameras> grey;
  std::array<cv::Matx33d, kCameras> K;
  std::array<cv::Vec4d, kCameras> D;
  for (int n = 0; n < kCameras; ++n) {
    const std::string path = images + "/origin_" + std::to_string(n) + ".jpg";
    timed([&] { grey[n] = cv::imread(path, cv::IMREAD_GRAYSCALE); });
    readIntrinsics(file, n, K[n], D[n]);
  }

  std::array<cv::Mat, kCameras> views;
  if (!lowered) {
    for (int n = 0; n < kCameras; ++n) {
      timed([&] { cv::fisheye::undistortImage(grey[n], views[n], K[n], D[n], Knew, viewSize); });
    }
  } else {
    // cv::fisheye::undistortImage is these two calls; here each thread keeps its maps.
    timed([&] {
      auto undistort = [&](int first) {
        cv::Mat map1;
        cv::Mat map2;
        for (int n = first; n < kCameras; n += 2) {
          cv::fisheye::initUndistortRectifyMap(K[n], D[n], cv::Matx33d::eye(), Knew, viewSize,
                                               CV_16SC2, map1, map2);
          cv::remap(grey[n], views[n], map1, map2, cv::INTER_LINEAR, cv::BORDER_CONSTANT);
        }
      };
      std::thread other(undistort, 1);
      undistort(0);
      other.join();
    });
  }
  for (cv::Mat& view : views) ringcalib::extrinsic::rotate90(view);

  const cv::Mat P(pairRotation());
  cv::Mat forward;
  cv::Mat backward;
  for (int i = 0; i < kCameras; ++i) {
    cv::Mat A = views[i];
    cv::Mat B = views[nextCamera(i)];
    const cv::Range strip = flowStripColumns(A.cols);
    ringcalib::extrinsic::rotateImageColumns(A, P.t(), Knew, strip);
    ringcalib::extrinsic::rotateImageColumns(B, P, Knew, strip);
    const cv::Mat strip1 = A.colRange(strip).clone();
    const cv::Mat strip2 = B.colRange(strip).clone();
    timed([&] {
      const auto flow = [](const cv::Mat& from, const cv::Mat& to, cv::Mat& field) {
        cv::DISOpticalFlow::create(cv::DISOpticalFlow::PRESET_MEDIUM)->calc(from, to, field);
      };
      if (!lowered) {
        forward.release();
        backward.release();
        flow(strip1, strip2, forward);
        flow(strip2, strip1, backward);
        return;
      }
      std::thread back([&] { flow(strip2, strip1, backward); });
      flow(strip1, strip2, forward);
      back.join();
    });
    std::vector<cv::Point2f> pts1;
    std::vector<cv::Point2f> pts2;
    sampleMatches(forward, backward, strip.start, pts1, pts2);
    ringcalib::extrinsic::rotatePoints(P.t(), pts1, Knew);
    ringcalib::extrinsic::rotatePoints(P, pts2, Knew);
    fundamental(pts1, pts2);
  }
  std::cout << "floor_s " << gFloorSeconds << std::endl;
  return 0;
}
