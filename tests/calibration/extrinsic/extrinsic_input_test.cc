// The extrinsic job and the check through the real executable on inputs they cannot use:
// parameter files, intrinsics and stills. Each gives its code and line, and the file keeps
// every byte and its modification time.
#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "core/gbk_text.h"
#include "tests/support/cmyk_jpeg.h"
#include "tests/support/test_support.h"

namespace ringcalib::test {
namespace {

const std::string kMatrix = R"({"w":24.0,"x":30.0,"y":30.0,"z":32.0})";

// A parameter file as an intrinsic run for 64 x 48 frames leaves it; camera 0 may differ.
std::string intrinsicDocument(const std::string& camera0Matrix = kMatrix, int withoutMatrix = -1) {
  std::string text = "{";
  for (int n = 0; n < 6; ++n) {
    text += "\"origin_" + std::to_string(n) + "\":{";
    if (n != withoutMatrix) text += "\"camera_matrix\":" + (n == 0 ? camera0Matrix : kMatrix) + ",";
    text += R"("distortion_factor":{"w":0.0,"x":0.0,"y":0.0,"z":0.0},"frame_size":{"height":48,"width":64}},)";
  }
  return text + "\"version\":1}";
}

std::string encoded(const cv::Mat& image, const std::string& format) {
  std::vector<uchar> bytes;
  cv::imencode(format, image, bytes);
  return std::string(bytes.begin(), bytes.end());
}

class ExtrinsicInput : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directory(images_); }
  std::string still(int n) const { return images_ + "/origin_" + std::to_string(n) + ".jpg"; }
  // Stills of the size the intrinsics were made for (1.25 x 64 x 48).
  void writeStills(int count, int grey = 128) {
    for (int n = 0; n < count; ++n) writeFileBytes(still(n), encoded(cv::Mat(60, 80, CV_8UC1, cv::Scalar(grey)), ".jpg"));
  }
  // The output of a run on `document`, with the JSON library's own wording of an error
  // (not this tool's to test) left out.
  std::string run(const std::string& document, std::vector<std::string> images = {""}, bool asNobody = false) {
    writeFileBytes(file_, document);
    std::vector<std::string> args = {"-w", job_, "-f", file_};
    for (const std::string& folder : images) args.insert(args.end(), {"-i", folder.empty() ? images_ : folder});
    const RunResult result = runKeepingFile(args, file_, RunOptions{{}, asNobody});
    EXPECT_EQ(result.status, std::stoi(result.out.substr(result.out.rfind(':') + 1))) << result.out;
    return std::regex_replace(result.out, std::regex("(failed : )[^\n]*"), "$1...");
  }
  std::string misfit(const std::string& size) const {
    return "camera 0: the intrinsic parameters in " + file_ + " do not fit " + still(0) + " (" + size +
           "): fx, fy must be positive, every value finite, the principal point near the centre\nresult : 4\n";
  }

  std::string job_ = "extrinsic";
  TempDir dir_;
  std::string images_ = dir_.file("image");
  std::string file_ = dir_.file("camera.json");
};

TEST_F(ExtrinsicInput, ParameterFilesThatCannotBeUsed) {
  const std::string readFailed = "read version failed : ...\nresult : 4\n";
  const std::string missingStill = still(0) + " is empty\nresult : 7\n";
  const std::pair<std::string, std::string> cases[] = {
      {"", "result : 4\n"},
      {"camera parameters", readFailed},
      {R"({"version":1)", readFailed},
      {"[1]", readFailed},
      {R"({"origin_0":{}})", readFailed},  // no version
      {R"({"version":"1"})", readFailed},
      {R"({"version":true})", readFailed},
      {R"({"version":1e999})", readFailed},
      {"{\"version\":1" + std::string(400, '0') + "}", readFailed},
      {R"({"version":2})", "result : 5\n"},
      {R"({"version":0.99})", "result : 5\n"},
      {R"({"version":1e300})", "result : 5\n"},
      // Read as far as the first still: a version truncated to 1, the text up to a NUL.
      {R"({"version":1.9})", missingStill},
      {std::string("{\"version\":1}\0junk", 18), missingStill},
  };
  for (const auto& [bytes, out] : cases) EXPECT_EQ(run(bytes), out) << bytes;
}

// Valid JSON of any size or depth is read; the job stops at the first missing still.
TEST_F(ExtrinsicInput, LargeAndDeeplyNestedDocumentsAreRead) {
  std::string numbers;
  for (int i = 0; i < 400000; ++i) numbers += "12345.6789,";
  const std::string large = "{\"padding\":[" + numbers + "0]," + intrinsicDocument().substr(1);
  const std::string deep = R"({"deep":)" + std::string(100000, '[') + std::string(100000, ']') + R"(,"version":1})";
  for (const std::string& document : {large, deep}) EXPECT_EQ(run(document), still(0) + " is empty\nresult : 7\n");
}

TEST_F(ExtrinsicInput, IntrinsicsThatCannotBeUsedNameTheCamera) {
  writeStills(6);
  const std::string notANumber = "read intrinsic param failed : ...\nresult : 4\n";
  const std::pair<std::string, std::string> cases[] = {
      {intrinsicDocument(R"({"w":24.0,"x":0.0,"y":30.0,"z":32.0})"), misfit("80x60")},
      {intrinsicDocument(R"({"w":24.0,"x":30.0,"y":-30.0,"z":32.0})"), misfit("80x60")},
      {intrinsicDocument(R"({"w":24.0,"x":1e308,"y":30.0,"z":32.0})"), misfit("80x60")},
      {intrinsicDocument(R"({"w":1.7e308,"x":30.0,"y":30.0,"z":32.0})"), misfit("80x60")},
      {intrinsicDocument(R"({"w":24.0,"x":"thirty","y":30.0,"z":32.0})"), notANumber},
      {intrinsicDocument(R"({"w":24.0,"x":true,"y":30.0,"z":32.0})"), notANumber},
      // Each camera's still is read before its intrinsics.
      {intrinsicDocument(kMatrix, 3), "progress:0.0166667\nprogress:0.0333333\nprogress:0.05\n" + notANumber},
  };
  for (const auto& [document, out] : cases) EXPECT_EQ(run(document), out);
}

TEST_F(ExtrinsicInput, StillsThatCannotBeUsed) {
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);  // for the run as nobody
  const std::string jpeg = encoded(cv::Mat(60, 80, CV_8UC1, cv::Scalar(100)), ".jpg");
  const std::string empty = still(0) + " is empty\nresult : 7\n";
  const std::string fits = "progress:0.0166667\n" + still(1) + " is empty\nresult : 7\n";
  const auto cropped = [&](const std::string& size) {
    return "camera 0: " + still(0) + " is " + size + ", not of the aspect of its video frames (64x48)\nresult : 4\n";
  };
  // Stills are decoded by their contents; their scale follows from their size over the video
  // frames' (64 x 48, the file says), and a still of another aspect is refused before any
  // undistortion. Those that fit camera 0 bring the job to camera 1's still, absent here.
  const struct {
    std::string bytes;  // of camera 0's still; none when empty
    std::string out;
    bool asNobody = false;
  } cases[] = {
      {"", empty},
      {"not an image\n", empty},
      {jpeg.substr(0, 100), empty},  // cut before its first scan
      {jpeg, empty, true},           // unreadable
      {encoded(cv::Mat(1, 1, CV_8UC1), ".jpg"), misfit("1x1")},
      {encoded(cv::Mat(50, 80, CV_8UC1), ".jpg"), cropped("80x50")},
      {encoded(cv::Mat(49, 64, CV_8UC1), ".jpg"), fits},  // within a pixel of the aspect
      {encoded(cv::Mat(48, 64, CV_8UC1), ".jpg"), fits},  // the video frames' own size: scale 1
      {encoded(cv::Mat(480, 640, CV_8UC3), ".jpg"), fits},
      {encoded(cv::Mat(240, 320, CV_8UC3), ".png"), fits},
      {encoded(cv::Mat(240, 320, CV_16UC1), ".tiff"), fits},
      {encodeCmykJpeg(cv::Mat(240, 320, CV_8UC3)), fits},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(still(0));
    if (!c.bytes.empty()) writeFileBytes(still(0), c.bytes);
    if (c.asNobody) ::chmod(still(0).c_str(), 0);
    EXPECT_EQ(run(intrinsicDocument(), {""}, c.asNobody), c.out);
  }
  std::filesystem::remove(still(0));
  std::filesystem::create_directory(still(0));
  EXPECT_EQ(run(intrinsicDocument()), empty);
}

TEST_F(ExtrinsicInput, OnlyTheFirstImageFolderIsRead) {
  writeStills(1);
  const std::string complete = dir_.file("complete");
  std::filesystem::create_directory(complete);
  for (int n = 0; n < 6; ++n) std::filesystem::copy(still(0), complete + "/origin_" + std::to_string(n) + ".jpg");
  EXPECT_EQ(run(intrinsicDocument(), {"", complete}), "progress:0.0166667\n" + still(1) + " is empty\nresult : 7\n");
  const std::string none = run(intrinsicDocument(), {});
  EXPECT_NE(none.find("--image"), std::string::npos) << none;
  EXPECT_EQ(none.substr(none.find('\n')), "\nresult : 7\n");
}

// Black stills pass loading and preparing; featureless views give the first pair almost no
// correspondence.
TEST_F(ExtrinsicInput, BlackStillsGiveTooFewMatches) {
  writeStills(6, 0);
  const std::string out = run(intrinsicDocument());
  const std::string start =
      "progress:0.0166667\nprogress:0.0333333\nprogress:0.05\nprogress:0.0666667\nprogress:0.0833333\n"
      "progress:0.1\nprogress:0.155556\nprogress:0.211111\nprogress:0.266667\nprogress:0.322222\n"
      "progress:0.377778\nprogress:0.433333\n" + std::string(gbk::kPairIdPrefix) + "0 1" + gbk::kTooFewMatchesText;
  EXPECT_EQ(out.substr(0, start.size()), start);
  EXPECT_TRUE(std::regex_match(out.substr(start.size()), std::regex("[0-9]{1,2}<100\nresult : 8\n"))) << out;
}

// The check needs a finished calibration: a file without a pose for every pair is refused
// before any still is read; otherwise its inputs fail as the extrinsic job's, and only a
// pair's failure line is printed of its solve.
TEST_F(ExtrinsicInput, CheckInputsThatCannotBeUsed) {
  job_ = "check";
  const std::string pose =
      R"("extrinsic_param":{"R00":1.0,"R01":0.0,"R02":0.0,"R10":0.0,"R11":1.0,"R12":0.0,"R20":0.0,)"
      R"("R21":0.0,"R22":1.0,"T00":1.0,"T10":0.0,"T20":0.0},)";
  const std::string finished = std::regex_replace(intrinsicDocument(), std::regex("\"distortion_factor\""), pose + "$&");
  const std::string lastWithout = finished.substr(0, finished.rfind("\"extrinsic_param\"")) +
                                  finished.substr(finished.rfind("\"distortion_factor\""));
  const std::string unusable = std::regex_replace(finished, std::regex("\"T20\":0.0"), "\"T20\":\"x\"");
  const std::string noPose = ": the check needs a finished calibration (run the extrinsic job first)\nresult : 4\n";
  const struct {
    std::string document;
    int stills;
    std::string out;
  } cases[] = {
      {intrinsicDocument(), 0, file_ + " has no usable pose of pair 0-1" + noPose},
      {lastWithout, 0, file_ + " has no usable pose of pair 5-0" + noPose},
      {unusable, 0, file_ + " has no usable pose of pair 0-1" + noPose},
      {"camera parameters", 0, "read version failed : ...\nresult : 4\n"},
      {R"({"version":2})", 0, "result : 5\n"},
      {finished, 0, still(0) + " is empty\nresult : 7\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(run(c.document), c.out) << c.document;
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);  // for the run as nobody
  writeFileBytes(file_, finished);
  ASSERT_EQ(::chmod(file_.c_str(), 0), 0);
  EXPECT_EQ(runKeepingFile({"-w", "check", "-f", file_, "-i", images_}, file_, RunOptions{{}, true}).out, "result : 2\n");
  ASSERT_EQ(::chmod(file_.c_str(), 0644), 0);
  writeStills(6, 0);
  const std::string black = run(finished);
  const std::string tooFew = std::string(gbk::kPairIdPrefix) + "0 1" + gbk::kTooFewMatchesText;
  EXPECT_TRUE(std::regex_match(black, std::regex("(progress:[0-9.]+\n){12}" + tooFew + "[0-9]{1,2}<100\nresult : 8\n")))
      << black;
}

}  // namespace
}  // namespace ringcalib::test
