// The intrinsic job on real fisheye photographs (the shared folder real/, never part of the
// repository), against OpenCV's fisheye solver on the same photographs: held-out
// reprojection error of each model, from photographs neither was fitted to. A tool run's six
// cameras are six folds, each a video of the photographs it trains on.

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "calibration/intrinsic/board_detection.h"
#include "rig/parameter_document.h"
#include "rig/ring.h"
#include "tests/support/test_support.h"
#include "tools/held_out_error.h"

namespace ringcalib::test {
namespace {

struct Photo {
  cv::Mat colour;
  std::vector<cv::Point2f> corners;  // the library's; empty when its search failed
};

// One camera's photographs of one board.
struct PhotoSet {
  std::string folder;  // under real/
  cv::Size board;      // inner corners
  const char* pattern;
  std::vector<Photo> photos;
};

// One camera of a tool run: a video of the photographs of `set` but those of fold `fold` of
// `folds` (one photograph of every `folds`), which are held out; every photograph without a
// fold. Each photograph is held for `samples` x 4 frames: the job examines every fourth frame,
// so it sees each `samples` times, as a slow turn in a recording shows a board in several
// samples (a repeated view moves no solve's K and D, and ten photographs need it to give the
// 20 views a camera needs).
struct Fold {
  const PhotoSet* set;
  int samples = 1;
  int folds = 1;
  int fold = -1;
  bool trains(std::size_t photo) const { return fold < 0 || static_cast<int>(photo % folds) != fold; }
};

void readPhotos(const std::string& real, PhotoSet& set) {
  std::vector<cv::String> names;
  cv::glob(real + "/" + set.folder + "/" + set.pattern, names, false);
  std::sort(names.begin(), names.end());
  for (const cv::String& name : names) {
    Photo photo;
    photo.colour = cv::imread(name, cv::IMREAD_COLOR);
    cv::Mat grey;
    cv::cvtColor(photo.colour, grey, cv::COLOR_BGR2GRAY);
    if (cv::findChessboardCorners(grey, set.board, photo.corners,
                                  cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE)) {
      cv::cornerSubPix(grey, photo.corners, cv::Size(5, 5), cv::Size(-1, -1),
                       cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 0.01));
    } else {
      photo.corners.clear();
    }
    set.photos.push_back(photo);
  }
}

// The intrinsic job on the folds of photographs of one board, camera n on cameras[n] (no video
// where it is null), with a report. The parameter file is dir/params.json, the report's folder
// dir/report.
RunResult runFolds(const TempDir& dir, const std::vector<const Fold*>& cameras) {
  const std::string videos = dir.file("video");
  EXPECT_EQ(::mkdir(videos.c_str(), 0755), 0);
  cv::Size board;
  for (int camera = 0; camera < static_cast<int>(cameras.size()); ++camera) {
    const Fold* fold = cameras[camera];
    if (fold == nullptr) continue;
    board = fold->set->board;
    cv::VideoWriter writer(videos + "/origin_" + std::to_string(camera) + ".mp4", cv::CAP_FFMPEG,
                           cv::VideoWriter::fourcc('m', 'p', '4', 'v'), 30.0,
                           fold->set->photos.front().colour.size(), true);
    EXPECT_TRUE(writer.isOpened());
    for (std::size_t i = 0; i < fold->set->photos.size(); ++i) {
      if (!fold->trains(i)) continue;
      for (int k = 0; k < 4 * fold->samples; ++k) writer.write(fold->set->photos[i].colour);
    }
  }
  const std::string boardOption = std::to_string(board.width) + "x" + std::to_string(board.height);
  return runTool({"-w", "intrinsic", "-f", dir.file("params.json"), "-v", videos, "-b", boardOption, "-r",
                  dir.file("report")});
}

// The squared held-out errors of a fold's model (K, D) on the photographs it held out.
void addHeldOutErrors(const Fold& fold, const cv::Matx33d& K, const cv::Vec4d& D, std::vector<double>& squared) {
  const PhotoSet& set = *fold.set;
  for (std::size_t i = 0; i < set.photos.size(); ++i) {
    if (fold.trains(i) || set.photos[i].corners.empty()) continue;
    const std::vector<double> errors =
        synth::heldOutSquaredErrors(intrinsic::boardModel(set.board), set.photos[i].corners, K, D);
    squared.insert(squared.end(), errors.begin(), errors.end());
  }
}

// OpenCV's fisheye solver on the library's corners of the photographs a fold trains on.
void peerModel(const Fold& fold, cv::Matx33d& K, cv::Vec4d& D) {
  const PhotoSet& set = *fold.set;
  std::vector<std::vector<cv::Point3f>> objects;
  std::vector<std::vector<cv::Point2f>> images;
  for (std::size_t i = 0; i < set.photos.size(); ++i) {
    if (!fold.trains(i) || set.photos[i].corners.empty()) continue;
    objects.push_back(intrinsic::boardModel(set.board));
    images.push_back(set.photos[i].corners);
  }
  std::vector<cv::Vec3d> rotations, translations;
  cv::fisheye::calibrate(objects, images, set.photos.front().colour.size(), K, D, rotations, translations,
                         cv::fisheye::CALIB_RECOMPUTE_EXTRINSIC | cv::fisheye::CALIB_FIX_SKEW,
                         cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, DBL_EPSILON));
}

// The K and D the job solved for each camera it reached, as its report gives them.
std::vector<rig::FisheyeCamera> reportedCameras(const TempDir& dir) {
  const nlohmann::json report = nlohmann::json::parse(readFileBytes(dir.file("report/report.json")));
  std::vector<rig::FisheyeCamera> cameras;
  for (const nlohmann::json& camera : report.at("cameras")) {
    rig::FisheyeCamera solved;
    if (camera.contains("K")) {
      for (int k = 0; k < 9; ++k) solved.K.val[k] = camera["K"][k / 3][k % 3].get<double>();
      for (int k = 0; k < 4; ++k) solved.D[k] = camera["D"][k].get<double>();
    }
    cameras.push_back(solved);
  }
  return cameras;
}

// Every set's held-out RMS over its folds (cameras[n] solved as solved[n]), the tool's within
// 1.10 x the peer's.
void expectWithinThePeer(const std::vector<const Fold*>& cameras, const std::vector<rig::FisheyeCamera>& solved) {
  std::vector<const PhotoSet*> sets;
  for (const Fold* fold : cameras) {
    if (std::find(sets.begin(), sets.end(), fold->set) == sets.end()) sets.push_back(fold->set);
  }
  ASSERT_GE(solved.size(), cameras.size());
  for (const PhotoSet* set : sets) {
    std::vector<double> tool, peer;
    for (int camera = 0; camera < static_cast<int>(cameras.size()); ++camera) {
      const Fold& fold = *cameras[camera];
      if (fold.set != set) continue;
      addHeldOutErrors(fold, solved[camera].K, solved[camera].D, tool);
      cv::Matx33d K;
      cv::Vec4d D;
      peerModel(fold, K, D);
      addHeldOutErrors(fold, K, D, peer);
    }
    const double toolRms = synth::rootMeanSquare(tool);
    const double peerRms = synth::rootMeanSquare(peer);
    std::printf("%s: held-out RMS %.4f px (tool), %.4f px (OpenCV), ratio %.3f over %zu corners\n",
                set->folder.c_str(), toolRms, peerRms, toolRms / peerRms, tool.size());
    EXPECT_LE(toolRms, 1.10 * peerRms) << set->folder;
  }
}

class RealPhotos : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    real_ = sharedRealFolder();
    if (real_.empty()) return;
    for (PhotoSet* set : {&stereo_, &lens190_[0], &lens190_[1], &lens190_[2], &lens190_[3]}) {
      readPhotos(real_, *set);
    }
  }
  void SetUp() override {
    if (real_.empty()) GTEST_SKIP() << "skipped: no shared real/ folder of photographs";
  }

  static std::string real_;
  static PhotoSet stereo_;
  // Four lenses of about 190 degrees, ten photographs each: boards up to 73 degrees off the axis.
  static PhotoSet lens190_[4];
};

std::string RealPhotos::real_;
PhotoSet RealPhotos::stereo_{"stereopi-left-640", {9, 6}, "*.png", {}};
PhotoSet RealPhotos::lens190_[4] = {{"nxp-lens190/camera_0", {7, 7}, "*.jpg", {}},
                                    {"nxp-lens190/camera_1", {7, 7}, "*.jpg", {}},
                                    {"nxp-lens190/camera_2", {7, 7}, "*.jpg", {}},
                                    {"nxp-lens190/camera_3", {7, 7}, "*.jpg", {}}};

// A 640 x 480 lens of about 140 degrees, 49 photographs: each held out once, one in six.
TEST_F(RealPhotos, heldOutErrorAgainstOpenCvOnA140DegreeLens) {
  std::vector<Fold> folds;
  for (int fold = 0; fold < rig::kCameras; ++fold) folds.push_back({&stereo_, 1, rig::kCameras, fold});
  std::vector<const Fold*> cameras;
  for (const Fold& fold : folds) cameras.push_back(&fold);
  TempDir dir;
  const RunResult run = runFolds(dir, cameras);
  ASSERT_EQ(run.status, 0) << run.out;
  rig::ParameterDocument document;
  document.content() = nlohmann::json::parse(readFileBytes(dir.file("params.json")));
  std::vector<rig::FisheyeCamera> solved(rig::kCameras);
  for (int camera = 0; camera < rig::kCameras; ++camera) {
    ASSERT_TRUE(document.findCamera(camera, solved[camera])) << camera;
  }
  expectWithinThePeer(cameras, solved);
}

// The four 190-degree lenses in one run, two photographs of ten held out of each (the first
// fold of five), and then as camera 4 the five photographs of one whose boards stay within 60
// degrees of its axis: they leave the model's rim a guess, so the job names the camera and the
// angles and writes nothing. The four lenses' models are those the report gives.
TEST_F(RealPhotos, heldOutErrorAgainstOpenCvOnFour190DegreeLensesAndBoardsShortOfTheRimRefused) {
  PhotoSet central = lens190_[1];
  central.photos.clear();
  for (const int i : {0, 2, 6, 8, 9}) central.photos.push_back(lens190_[1].photos.at(i));
  const Fold folds[] = {{&lens190_[0], 4, 5, 0}, {&lens190_[1], 4, 5, 0}, {&lens190_[2], 4, 5, 0},
                        {&lens190_[3], 4, 5, 0}, {&central, 5}};
  TempDir dir;
  const RunResult run = runFolds(dir, {&folds[0], &folds[1], &folds[2], &folds[3], &folds[4], nullptr});
  EXPECT_EQ(run.status, 3) << run.out;
  const std::regex refusal(
      "\ncamera 4: the boards reach [0-9.]+ degrees off the axis, [0-9.]+ needed: nothing is written; record "
      "boards nearer the frame's edge\n");
  EXPECT_TRUE(std::regex_search(run.out, refusal)) << run.out;
  EXPECT_FALSE(fileExists(dir.file("params.json")));
  expectWithinThePeer({&folds[0], &folds[1], &folds[2], &folds[3]}, reportedCameras(dir));
}

}  // namespace
}  // namespace ringcalib::test
