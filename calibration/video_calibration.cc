#include "calibration/video_calibration.h"

#include <algorithm>
#include <iostream>

#include <opencv2/imgproc.hpp>

#include "calibration/compact_json.h"
#include "calibration/frame_reader.h"
#include "core/gbk_text.h"
#include "core/job_guard.h"
#include "calibration/parameter_file.h"
#include "core/result_code.h"

using ringcalib::kSuccess;

namespace {

constexpr int kCameraCount = 6;

// Successive frames of a slowly turning camera are nearly alike: every fourth is examined.
constexpr int kSampleEvery = 4;

// Inner corners of the board: 9 per row, 12 rows.
const cv::Size kBoardSize(9, 12);

// The central circle of the corner selection is taken in a frame of this size.
constexpr int kReferenceWidth = 3200;
constexpr int kReferenceHeight = 2400;

std::string videoPath(const std::string& folder, int camera) {
  return folder + "/origin_" + std::to_string(camera) + ".mp4";
}

// Corner (x, y) of the board at (x, y, 0), row by row: one square edge is the unit.
std::vector<cv::Point3f> boardModel() {
  std::vector<cv::Point3f> model;
  for (int y = 0; y < kBoardSize.height; ++y) {
    for (int x = 0; x < kBoardSize.width; ++x) {
      model.emplace_back(static_cast<float>(x), static_cast<float>(y), 0.0f);
    }
  }
  return model;
}

// Standard output stays in fixed-point notation from the first progress line on.
void printProgress(double value) {
  std::cout << std::fixed << "progress:" << value << std::endl;
}

// The progress of camera `camera` runs over its share P = scale / 6; the share is split
// evenly between the `videoCount` videos, and within video `video` the value grows with
// the frames read in proportion to the stated frame count, clamped to the video's end:
//   min(base + video * P / N + framesRead * (P / N) / frameCount, base + (video + 1) * P / N).
// A video whose frame count is not known (0) stays at the start of its share rather than
// print 0 / 0.
double videoProgress(double scale, int camera, int video, int videoCount, int framesRead,
                     int frameCount) {
  const double share = scale / kCameraCount;
  const double base = camera * scale / kCameraCount;
  const double low = video * share;
  const double high = (video + 1) * share;
  if (frameCount <= 0) return base + low / videoCount;
  return std::min(base + low / videoCount + framesRead * (share / videoCount) / frameCount,
                  base + high / videoCount);
}

}  // namespace

int VideoCalibration::Calibrate(const std::vector<std::string>& videoPaths,
                                const std::string& file,
                                const InputParam::CalibrationType& type) {
  return ringcalib::runGuarded("intrinsic calibration",
                               [&] { return calibrate(videoPaths, file, type); });
}

int VideoCalibration::calibrate(const std::vector<std::string>& videoPaths,
                                const std::string& file,
                                const InputParam::CalibrationType& type) {
  // The file is checked, not truncated: a run that fails keeps the earlier calibration.
  if (ringcalib::checkParameterFileWritable(file) != kSuccess) return ringcalib::kCannotOpen;
  const double scale = type == InputParam::ALL ? 0.9 : 1.0;
  document_["version"] = 1;

  const std::vector<cv::Point3f> model = boardModel();
  for (int camera = 0; camera < kCameraCount; ++camera) {
    std::vector<std::vector<cv::Point2f>> imagePoints;
    cv::Size imageSize(0, 0);
    ringcalib::report::IntrinsicReport* record = intrinsicRecord(camera);
    int code = collectViews(videoPaths, camera, scale, imagePoints, imageSize, record);
    if (code != kSuccess) return code;

    std::vector<std::vector<cv::Point3f>> objectPoints(imagePoints.size(), model);
    selectCorners(imagePoints, objectPoints, kReferenceWidth, kReferenceHeight);
    if (record != nullptr) {
      for (const auto& view : imagePoints) record->cornersKept += static_cast<int>(view.size());
    }
    if (imagePoints.size() < static_cast<std::size_t>(kMinViews)) {
      std::cout << ringcalib::gbk::kTooFewBoardImages << std::endl;
      std::cout << ringcalib::gbk::kRecordSlowly << std::endl;
      return ringcalib::kTooFewViews;
    }

    cv::Matx33d K = cv::Matx33d::zeros();
    cv::Vec4d D = cv::Vec4d::all(0.0);
    code = runFisheyeCalibration2(imagePoints, objectPoints, camera, 0, imageSize, K, D);
    if (code != kSuccess) return code;
    code = writeCameraParams(K, D, camera);
    if (code != kSuccess) return code;
    printProgress((camera + 1) * (scale / kCameraCount));
  }

  if (ringcalib::writeParameterFile(file, ringcalib::serializeCompact(document_)) != kSuccess) {
    std::cout << "Can not write camera parameter file : " << file << std::endl;
    return ringcalib::kCannotOpen;
  }
  return kSuccess;
}

int VideoCalibration::collectViews(const std::vector<std::string>& videoPaths, int camera,
                                   double scale,
                                   std::vector<std::vector<cv::Point2f>>& imagePoints,
                                   cv::Size& imageSize,
                                   ringcalib::report::IntrinsicReport* record) {
  const int videoCount = static_cast<int>(videoPaths.size());
  for (int video = 0; video < videoCount; ++video) {
    const std::string path = videoPath(videoPaths[video], camera);
    ringcalib::FrameReader reader(path, kSampleEvery);
    if (!reader.isOpened()) {
      std::cout << "Can not open video : " << path << std::endl;
      return ringcalib::kCannotOpen;
    }
    const int frameCount = reader.frameCount();
    // A sample needs its pixels only when the cheap test will look at it, which the
    // back-off decides before the sample is reached.
    reader.start(fastChectTestsNextFrame());
    for (int framesRead = 0;;) {
      const ringcalib::VideoFrame frame = reader.next();
      printProgress(videoProgress(scale, camera, video, videoCount, framesRead, frameCount));
      if (frame.end) break;
      ++framesRead;
      if (record != nullptr) ++record->framesRead;
      if (!frame.sample) continue;
      // One camera matrix describes one frame size: views of another size would be solved
      // together with the wrong principal point and focal scale.
      if (imageSize.area() > 0 && frame.size != imageSize) {
        std::cout << path << " has frames of " << frame.size.width << "x" << frame.size.height
                  << ", earlier frames of camera " << camera << " are " << imageSize.width << "x"
                  << imageSize.height << std::endl;
        return ringcalib::kComputationFailed;
      }
      imageSize = frame.size;
      const bool boardSeen = fastChect(frame.pixels, kBoardSize.width, kBoardSize.height);
      reader.decideNextSample(fastChectTestsNextFrame());
      if (record != nullptr) {
        ++record->framesSampled;
        record->frameSize = imageSize;
        if (boardSeen) ++record->framesPassingCheapTest;
      }
      if (!boardSeen) continue;
      cv::cvtColor(frame.pixels, grayFrame_, cv::COLOR_RGB2GRAY);
      std::vector<cv::Point2f> corners;
      if (detectCorners(grayFrame_, corners, kBoardSize)) {
        imagePoints.push_back(std::move(corners));
        if (record != nullptr) ++record->viewsAccepted;
      }
    }
  }
  return kSuccess;
}

ringcalib::report::IntrinsicReport* VideoCalibration::intrinsicRecord(int camera) {
  if (report_ == nullptr) return nullptr;
  ringcalib::report::CameraReport& record = report_->camera(camera);
  if (!record.intrinsic) record.intrinsic.emplace();
  return &*record.intrinsic;
}

int VideoCalibration::writeCameraParams(const cv::Matx33d& K, const cv::Vec4d& D, const int& id) {
  try {
    nlohmann::json& camera = document_["origin_" + std::to_string(id)];
    camera["camera_matrix"] =
        nlohmann::json::object({{"x", K(0, 0)}, {"y", K(1, 1)}, {"z", K(0, 2)}, {"w", K(1, 2)}});
    camera["distortion_factor"] =
        nlohmann::json::object({{"x", D[0]}, {"y", D[1]}, {"z", D[2]}, {"w", D[3]}});
  } catch (const std::exception& e) {
    std::cout << "write intrinsic param failed : " << e.what() << std::endl;
    return ringcalib::kCannotStoreValue;
  }
  return kSuccess;
}
