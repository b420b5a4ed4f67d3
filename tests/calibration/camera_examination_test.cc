// The concurrent examination of the intrinsic job examines exactly the frames that one thread
// examines with the process-wide back-off, whatever the order in which the cameras are
// examined and whatever state each camera's videos end in.
#include <gtest/gtest.h>

#include <sstream>

#include <opencv2/videoio.hpp>

#include "calibration/back_off.h"
#include "calibration/camera_examination.h"
#include "calibration/camera_workers.h"
#include "tests/calibration/board_images.h"
#include "tests/support/test_support.h"

namespace ringcalib::intrinsic {
namespace {

using Views = std::vector<std::vector<cv::Point2f>>;
const cv::Size kFrame(1280, 960);

// Camera c's sampled frames (every fourth frame; the others are blank): 1 to 3 blank samples,
// four boards, then c % 5 blank samples. Camera 3 shows no board, so the counter it ends with
// depends on the one it starts with. One thread ends the cameras with the back-off counter at
// 0, 1, 2, 3, 4 and 0, and what each camera tests first depends on how the one before ended.
std::string samplePattern(int camera) {
  if (camera == 3) return std::string(5, '.');
  return std::string(1 + camera % 3, '.') + "BBBB" + std::string(camera % 5, '.');
}

void writeVideos(const std::string& folder) {
  for (int camera = 0; camera < kCameraCount; ++camera) {
    cv::VideoWriter writer(videoPath(folder, camera), cv::CAP_FFMPEG,
                           cv::VideoWriter::fourcc('m', 'p', '4', 'v'), 30, kFrame, true);
    ASSERT_TRUE(writer.isOpened());
    int frame = 0;
    for (const char sample : samplePattern(camera)) {
      for (int k = 0; k < 4; ++k, ++frame) {
        // Each board stands a little elsewhere, so each view names its frame.
        const cv::Mat board = test::renderBoard(
            kFrame, test::boardToImage(cv::Point2d(640 + 3 * frame, 480 - 2 * frame), 55, frame));
        const bool shown = sample == 'B' && k == 3;
        writer.write(test::toColour(shown ? board : cv::Mat(kFrame, CV_8UC1, cv::Scalar(25))));
      }
    }
  }
}

// What one thread finds: every fourth frame through fastChect, in camera order.
std::vector<Views> sequentialViews(const std::string& folder, std::vector<int>& passes,
                                   std::vector<int>& ends) {
  back_off::processCounter() = 0;
  VideoCalibration calibration;
  std::vector<Views> views(kCameraCount);
  passes.assign(kCameraCount, 0);
  for (int camera = 0; camera < kCameraCount; ++camera) {
    cv::VideoCapture capture(videoPath(folder, camera), cv::CAP_FFMPEG);
    cv::Mat frame;
    for (int read = 1; capture.read(frame); ++read) {
      if (read % 4 != 0 || !calibration.fastChect(frame, 9, 12)) continue;
      ++passes[camera];
      cv::Mat grey;
      cv::cvtColor(frame, grey, cv::COLOR_RGB2GRAY);
      std::vector<cv::Point2f> corners;
      if (calibration.detectCorners(grey, corners, cv::Size(9, 12))) {
        views[camera].push_back(corners);
      }
    }
    ends.push_back(back_off::processCounter());
  }
  return views;
}

void expectSameViews(SharedCameras& shared, const std::vector<Views>& expected,
                     const std::vector<int>& passes, const std::string& how) {
  for (int camera = 0; camera < kCameraCount; ++camera) {
    const BackOffRun* run = runStartingWith(shared.cameras[camera], shared.start[camera]);
    ASSERT_NE(run, nullptr) << how << ", camera " << camera;
    EXPECT_EQ(run->cheapTestsPassed, passes[camera]) << how << ", camera " << camera;
    EXPECT_EQ(run->views, expected[camera]) << how << ", camera " << camera;
  }
}

TEST(CameraExamination, ExaminesTheFramesOneThreadExamines) {
  test::TempDir folder;
  writeVideos(folder.path());
  std::vector<int> passes;
  std::vector<int> ends;
  const std::vector<Views> expected = sequentialViews(folder.path(), passes, ends);
  ASSERT_EQ(ends, (std::vector<int>{0, 1, 2, 3, 4, 0}));
  ASSERT_EQ(expected[2].size(), 4u);  // the boards are found where they are tested
  const std::vector<std::string> folders{folder.path()};
  const std::ostringstream format;

  // Last camera first: every camera but the first is examined before its start is known.
  {
    SharedCameras shared(0);
    CameraExaminer examiner(folders, shared, false, format);
    for (int camera = kCameraCount - 1; camera >= 0; --camera) examiner.examine(camera);
    expectSameViews(shared, expected, passes, "backwards");
    // The videos are made so that the start matters: some run of another start differs.
    int differing = 0;
    for (int camera = 1; camera < kCameraCount; ++camera) {
      for (const BackOffRun& run : shared.cameras[camera].runs) {
        differing += run.views != expected[camera] ? 1 : 0;
      }
    }
    EXPECT_GT(differing, 5);
  }
  for (const int threads : {1, 2, 6}) {
    cv::setNumThreads(threads);
    SharedCameras shared(0);
    {
      CameraWorkers workers(folders, shared, false, format);
      std::unique_lock<std::mutex> lock(shared.mutex);
      shared.changed.wait(lock, [&] {
        return std::all_of(shared.cameras.begin(), shared.cameras.end(),
                           [](const CameraRecord& r) { return r.examined && !r.solving; });
      });
    }
    expectSameViews(shared, expected, passes, std::to_string(threads) + " threads");
  }
}

}  // namespace
}  // namespace ringcalib::intrinsic
