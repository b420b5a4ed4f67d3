#pragma once

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <opencv2/core.hpp>

#include "core/input_param.h"
#include "report/report_data.h"
#include "rig/lens_covariance.h"
#include "rig/parameter_document.h"

namespace ringcalib::intrinsic {
struct SharedCameras;
}

// The intrinsic job: checkerboard videos of the six cameras to fisheye K and D.
//
// For each camera every fourth frame of its videos is screened by a cheap board test on a
// small copy (fastChect), searched at a reduced size and refined at full size
// (detectCorners), checked for contrast (shapeResponse) and straight rows and columns
// (testCorners). The corners of the accepted views are cut to the central circle
// (selectCorners) and solved into the equidistant fisheye model (runFisheyeCalibration2).
//
// The cameras are examined concurrently by cv::getNumThreads() workers (at most one per
// camera; calibration/camera_examination.h), each video decoded ahead on a thread of its
// own (calibration/frame_reader.h). The calling thread prints everything in the order of
// the cameras and frames, as it becomes known, so that standard output, the parameter file
// and the report are the same bytes on any number of threads; the frames examined are the
// ones one thread examines with the process-wide back-off.
class VideoCalibration {
 public:
  // Fewer views than this leave too little spread of board poses for the solve.
  static constexpr int kMinViews = 20;

  VideoCalibration() = default;

  // Runs the job on the --video folders and writes the parameter file. Returns a result
  // code (calibration/result_code.h); on failure the earlier file stays as it was.
  int Calibrate(const std::vector<std::string>& videoPaths, const std::string& file,
                const InputParam::CalibrationType& type);

  // Cheap test of a colour frame for a w x h inner-corner board, with the process-wide
  // back-off (calibration/back_off.h): after a failed test the next three calls return false
  // without looking at their frame.
  bool fastChect(const cv::Mat& frame, int w, int h);

  // How a board is printed: light squares on a dark surround, or dark squares on white paper.
  enum class BoardPolarity { kLightSquares, kDarkSquares };

  // The cheap test alone: a w x h board found in a grey copy reduced as for the board search
  // (1000 x 750 from 3200 x 2400; calibration/frame_scale.h), inverted for a board of light
  // squares, as it is for a printed one. `polarity` tells which one was found.
  bool cheapBoardTest(const cv::Mat& frame, int w, int h, BoardPolarity& polarity);

  // One sampled colour frame whose cheap test is due: the cheap test (its outcome in
  // `boardSeen`), then the full detection on the frame's grey copy. True when the frame
  // becomes a view; `corners` then holds its corners.
  bool examineSample(const cv::Mat& frame, cv::Size boardSize, bool& boardSeen,
                     std::vector<cv::Point2f>& corners);

  // Full detection on a single-channel frame, which is inverted in place for a board of
  // light squares. The board is searched reduced (by 3.2 from 3200 x 2400) and refined at
  // full size (a 15 x 15 half window there). True when the frame is accepted; `corners`
  // then holds boardSize.area() corners in full-size pixels.
  bool detectCorners(const cv::Mat& gray, std::vector<cv::Point2f>& corners,
                     cv::Size boardSize,
                     BoardPolarity polarity = BoardPolarity::kLightSquares);

  // Smallest local contrast (mean absolute deviation / mean over a window of 7 x 7 at
  // 3200 x 2400, following the image's size) over the corners at least the window's half
  // side inside the image; 10000 when no corner qualifies.
  double shapeResponse(const cv::Mat& img, std::vector<cv::Point2f>& corners);

  // Whether a w x h corner list runs straight: every two successive segments along a row
  // or a column are parallel within acos(0.99), about 8.1 degrees.
  bool testCorners(std::vector<cv::Point2f>& corners, int w, int h);

  // Keeps in every view only the corners within 0.8 * (width / 2) of the centre of a
  // width x height frame (the video frames' size), with their object points. Every view
  // stays, empty or not.
  void selectCorners(std::vector<std::vector<cv::Point2f>>& imagePoints,
                     std::vector<std::vector<cv::Point3f>>& objectPoints, int width,
                     int height);

  // Solves K and D of camera `cameraId` from the views and prints them to `out`. Views the
  // library cannot start from (fewer than five corners, or all on one line of the board)
  // are left out; a view it reports as ill-conditioned is dropped, in one line, and the
  // solve is repeated while 20 views remain. Returns 0, or 9 after one line naming the
  // camera. A finished solve is recorded into `record` when it is not null, and the
  // covariance of its intrinsics (calibration/board_covariance.h) put into `covariance`
  // (nullopt when the views leave it undetermined) when that is not null.
  int runFisheyeCalibration2(const std::vector<std::vector<cv::Point2f>>& imagePoints,
                             const std::vector<std::vector<cv::Point3f>>& objectPoints,
                             int cameraId, int, cv::Size imageSize, cv::Matx33d& K,
                             cv::Vec4d& D, std::ostream& out = std::cout,
                             ringcalib::report::CameraReport* record = nullptr,
                             std::optional<ringcalib::rig::LensCovariance>* covariance = nullptr);

  // Enters camera `id`'s K and D, for video frames of `frameSize`, into the document.
  // Returns 0, or 6 after printing "write intrinsic param failed : " and the library's text.
  int writeCameraParams(const cv::Matx33d& K, const cv::Vec4d& D, const int& id,
                        cv::Size frameSize = ringcalib::rig::kStandardFrameSize);

  // The board's inner corners to look for (9 x 12 unless set). A board that was set is named
  // in one more line when a camera's videos never show it.
  void setBoard(cv::Size board) {
    board_ = board;
    boardGiven_ = true;
  }

  // The covariance of each camera's intrinsics from its solve in the last run (nullopt
  // where the run did not solve it or the views left it undetermined). Not written to the
  // file; an "all" run hands it to the extrinsic job's ring adjustment.
  const ringcalib::rig::LensCovariances& lensCovariances() const { return lensCovariances_; }

  // The document as it stands (tests and the store step read it).
  const nlohmann::json& document() const { return document_.content(); }

  // Where the job records what a calibration report shows. Null (the default) records
  // nothing and costs nothing; the job computes and prints the same either way.
  void setReport(ringcalib::report::CalibrationReport* report) { report_ = report; }

 private:
  int calibrate(const std::vector<std::string>& videoPaths, const std::string& file,
                const InputParam::CalibrationType& type);

  // Prints camera `camera`'s part of the output as its worker reads and examines it, then
  // enters its K and D into the document. Returns 0 or the code the job stops with.
  int commitCamera(int camera, ringcalib::intrinsic::SharedCameras& shared,
                   const std::vector<std::string>& videoPaths, double scale,
                   const std::ostream& format);

  // Prints the progress lines of camera `camera`'s videos as their read attempts come in,
  // up to the end of its last video or the attempt at which its examination stopped.
  void printVideoProgress(int camera, ringcalib::intrinsic::SharedCameras& shared,
                          int videoCount, double scale);

  // Camera `camera`'s intrinsic record of the report, or null without a report.
  ringcalib::report::IntrinsicReport* intrinsicRecord(int camera);

  cv::Mat fastCheckImage_;
  cv::Mat grayFrame_;
  cv::Mat detectionImage_;
  cv::Mat inverted_;  // the cheap test's copy, inverted
  BoardPolarity lastPolarity_ = BoardPolarity::kLightSquares;  // of the last board found
  ringcalib::rig::ParameterDocument document_;
  ringcalib::rig::LensCovariances lensCovariances_;
  ringcalib::report::CalibrationReport* report_ = nullptr;
  cv::Size board_{9, 12};
  bool boardGiven_ = false;
};
