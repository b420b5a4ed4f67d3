// The intrinsic job on real fisheye photographs (the shared folder real/, never part of the
// repository), against OpenCV's fisheye solver on the same photographs: held-out
// reprojection error of each model, from photographs neither was fitted to.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "rig/parameter_document.h"
#include "rig/ring.h"
#include "tests/support/test_support.h"

namespace ringcalib::test {
namespace {

// One photograph of every `kFolds` is held out, in turn.
constexpr int kFolds = 6;
// Each photograph is held for this many frames, so that the job's every-fourth-frame
// sampling sees each once.
constexpr int kFramesPerPhoto = 4;

struct PhotoSet {
  std::string folder;  // under real/
  cv::Size board;      // inner corners
};

const PhotoSet kSets[] = {{"stereopi-left-640", {9, 6}}};

std::string realFolder() {
  for (const std::string& path :
       {std::string("/work/shared/real"), std::string(RINGCALIB_SOURCE_DIR "/../shared/real")}) {
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return path;
  }
  return "";
}

struct Photo {
  cv::Mat grey;
  std::vector<cv::Point2f> corners;  // empty when the board search failed
};

std::vector<Photo> readPhotos(const std::string& folder, cv::Size board) {
  std::vector<cv::String> names;
  cv::glob(folder + "/*.png", names, false);
  std::sort(names.begin(), names.end());
  std::vector<Photo> photos;
  for (const cv::String& name : names) {
    Photo photo;
    photo.grey = cv::imread(name, cv::IMREAD_GRAYSCALE);
    if (cv::findChessboardCorners(photo.grey, board, photo.corners,
                                  cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE)) {
      cv::cornerSubPix(photo.grey, photo.corners, cv::Size(5, 5), cv::Size(-1, -1),
                       cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 0.01));
    } else {
      photo.corners.clear();
    }
    photos.push_back(photo);
  }
  return photos;
}

std::vector<cv::Point3f> boardModel(cv::Size board) {
  std::vector<cv::Point3f> model;
  for (int y = 0; y < board.height; ++y)
    for (int x = 0; x < board.width; ++x) model.emplace_back(x, y, 0.0f);
  return model;
}

// The photographs of `training` as a user would film them, one camera's video in `folder`.
void writeVideo(const std::vector<const Photo*>& training, const std::string& path) {
  const cv::Size size = training.front()->grey.size();
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('m', 'p', '4', 'v'), 30.0,
                         size, true);
  ASSERT_TRUE(writer.isOpened()) << path;
  cv::Mat colour;
  for (const Photo* photo : training) {
    cv::cvtColor(photo->grey, colour, cv::COLOR_GRAY2BGR);
    for (int k = 0; k < kFramesPerPhoto; ++k) writer.write(colour);
  }
}

// Squared reprojection errors of a held-out board after fitting its pose through the model
// (K, D): a start from the undistorted points, then Gauss-Newton on the pixel error.
std::vector<double> heldOutErrors(const std::vector<cv::Point3f>& model,
                                  const std::vector<cv::Point2f>& corners, const cv::Matx33d& K,
                                  const cv::Vec4d& D) {
  std::vector<cv::Point2f> normalised;
  cv::fisheye::undistortPoints(corners, normalised, K, D);
  cv::Vec3d rvec, tvec;
  cv::solvePnP(model, normalised, cv::Matx33d::eye(), cv::noArray(), rvec, tvec);
  const auto residuals = [&](const cv::Vec6d& pose) {
    std::vector<cv::Point2d> projected;
    std::vector<cv::Point3d> points(model.begin(), model.end());
    cv::fisheye::projectPoints(points, projected, cv::Vec3d(pose[0], pose[1], pose[2]),
                               cv::Vec3d(pose[3], pose[4], pose[5]), K, D);
    cv::Mat r(2 * static_cast<int>(corners.size()), 1, CV_64F);
    for (size_t i = 0; i < corners.size(); ++i) {
      r.at<double>(2 * i) = projected[i].x - corners[i].x;
      r.at<double>(2 * i + 1) = projected[i].y - corners[i].y;
    }
    return r;
  };
  cv::Vec6d pose(rvec[0], rvec[1], rvec[2], tvec[0], tvec[1], tvec[2]);
  for (int iteration = 0; iteration < 30; ++iteration) {
    const cv::Mat r = residuals(pose);
    cv::Mat J(r.rows, 6, CV_64F);
    for (int p = 0; p < 6; ++p) {
      cv::Vec6d moved = pose;
      moved[p] += 1e-7;
      cv::Mat(( residuals(moved) - r) / 1e-7).copyTo(J.col(p));
    }
    cv::Mat step;
    cv::solve(J, -r, step, cv::DECOMP_SVD);
    for (int p = 0; p < 6; ++p) pose[p] += step.at<double>(p);
    if (cv::norm(step) < 1e-12) break;
  }
  const cv::Mat r = residuals(pose);
  std::vector<double> squared;
  for (int i = 0; i < r.rows; i += 2)
    squared.push_back(r.at<double>(i) * r.at<double>(i) + r.at<double>(i + 1) * r.at<double>(i + 1));
  return squared;
}

double rms(const std::vector<double>& squared) {
  double sum = 0.0;
  for (const double s : squared) sum += s;
  return std::sqrt(sum / squared.size());
}

TEST(RealPhotos, heldOutErrorAgainstOpenCv) {
  const std::string real = realFolder();
  if (real.empty()) GTEST_SKIP() << "skipped: no shared real/ folder of photographs";
  for (const PhotoSet& set : kSets) {
    const std::vector<Photo> photos = readPhotos(real + "/" + set.folder, set.board);
    ASSERT_FALSE(photos.empty()) << set.folder;
    const std::vector<cv::Point3f> model = boardModel(set.board);
    // One tool run calibrates the six folds at once: camera n's video holds the photographs
    // of fold n's training set.
    TempDir dir;
    const std::string videos = dir.file("video");
    ASSERT_EQ(::mkdir(videos.c_str(), 0755), 0);
    std::vector<std::vector<std::vector<cv::Point3f>>> objects(kFolds);
    std::vector<std::vector<std::vector<cv::Point2f>>> images(kFolds);
    for (int fold = 0; fold < kFolds; ++fold) {
      std::vector<const Photo*> training;
      for (size_t i = 0; i < photos.size(); ++i) {
        if (static_cast<int>(i % kFolds) == fold) continue;
        training.push_back(&photos[i]);
        if (photos[i].corners.empty()) continue;
        objects[fold].push_back(model);
        images[fold].push_back(photos[i].corners);
      }
      writeVideo(training, videos + "/origin_" + std::to_string(fold) + ".mp4");
    }
    const std::string file = dir.file("params.json");
    const std::string board = std::to_string(set.board.width) + "x" + std::to_string(set.board.height);
    const RunResult run = runTool({"-w", "intrinsic", "-f", file, "-v", videos, "-b", board});
    ASSERT_EQ(run.status, 0) << set.folder << "\n" << run.out;
    rig::ParameterDocument document;
    document.content() = nlohmann::json::parse(readFileBytes(file));

    std::vector<double> toolErrors, openCvErrors;
    for (int fold = 0; fold < kFolds; ++fold) {
      rig::FisheyeCamera tool;
      ASSERT_TRUE(document.findCamera(fold, tool));
      cv::Matx33d K;
      cv::Vec4d D;
      std::vector<cv::Vec3d> rotations, translations;
      cv::fisheye::calibrate(objects[fold], images[fold], photos.front().grey.size(), K, D, rotations,
                             translations, cv::fisheye::CALIB_RECOMPUTE_EXTRINSIC | cv::fisheye::CALIB_FIX_SKEW,
                             cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, DBL_EPSILON));
      for (size_t i = fold; i < photos.size(); i += kFolds) {
        if (photos[i].corners.empty()) continue;
        const std::vector<double> a = heldOutErrors(model, photos[i].corners, tool.K, tool.D);
        const std::vector<double> b = heldOutErrors(model, photos[i].corners, K, D);
        toolErrors.insert(toolErrors.end(), a.begin(), a.end());
        openCvErrors.insert(openCvErrors.end(), b.begin(), b.end());
      }
    }
    const double toolRms = rms(toolErrors);
    const double openCvRms = rms(openCvErrors);
    std::printf("%s: held-out RMS %.4f px (tool), %.4f px (OpenCV), ratio %.3f over %zu corners\n",
                set.folder.c_str(), toolRms, openCvRms, toolRms / openCvRms, toolErrors.size());
    EXPECT_LE(toolRms, 1.15 * openCvRms) << set.folder;
  }
}

}  // namespace
}  // namespace ringcalib::test
