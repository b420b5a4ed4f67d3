// The extrinsic job on stills that are missing, broken or of the wrong kind: the code and
// line of the job, and the parameter file from the intrinsic run kept byte for byte.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "core/gbk_text.h"
#include "tests/e2e/bad_input.h"
#include "tests/support/cmyk_jpeg.h"

namespace ringcalib::test {
namespace {

class BadImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(images());
    writeFileBytes(file(), intrinsicDocument());
  }
  std::string images() const { return dir_.file("image"); }
  std::string still0() const { return images() + "/origin_0.jpg"; }
  std::string file() const { return dir_.file("camera.json"); }
  RunResult run() { return runKeepingFile({"-w", "extrinsic", "-i", images(), "-f", file()}, file()); }
  void expectEmpty() {
    const RunResult result = run();
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(result.out, still0() + " is empty\nresult : 7\n");
  }

  // The job decodes stills by their contents, whatever the name; one whose size does not
  // fit camera 0's intrinsics (made for 80 x 60 stills) is refused before any undistortion.
  void expectMisfit(const cv::Mat& still, const std::string& format) {
    std::vector<uchar> bytes;
    ASSERT_TRUE(cv::imencode(format, still, bytes));
    expectMisfit(std::string(bytes.begin(), bytes.end()), still.size());
  }
  void expectMisfit(const std::string& encoded, cv::Size size) {
    writeFileBytes(still0(), encoded);
    const RunResult result = run();
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(result.out, "camera 0: the intrinsic parameters in " + file() + " do not fit " +
                              still0() + " (" + std::to_string(size.width) + "x" +
                              std::to_string(size.height) +
                              "): fx, fy must be positive, every value finite, the principal "
                              "point near the centre\nresult : 4\n");
  }

  TempDir dir_;
};

TEST_F(BadImageTest, MissingImage) { expectEmpty(); }

TEST_F(BadImageTest, EmptyImage) {
  writeFileBytes(still0(), "");
  expectEmpty();
}

TEST_F(BadImageTest, TextNamedAsImage) {
  writeFileBytes(still0(), "not an image\n");
  expectEmpty();
}

TEST_F(BadImageTest, DirectoryNamedAsImage) {
  std::filesystem::create_directory(still0());
  expectEmpty();
}

TEST_F(BadImageTest, UnreadableImage) {
  // Root reads a file whatever its mode, so there is nothing to refuse.
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not apply";
  ASSERT_TRUE(cv::imwrite(still0(), cv::Mat(60, 80, CV_8UC1, cv::Scalar(100))));
  ASSERT_EQ(::chmod(still0().c_str(), 0), 0);
  expectEmpty();
}

TEST_F(BadImageTest, JpegCutBeforeItsFirstScan) {
  ASSERT_TRUE(cv::imwrite(still0(), cv::Mat(60, 80, CV_8UC1, cv::Scalar(100))));
  writeFileBytes(still0(), readFileBytes(still0()).substr(0, 100));
  expectEmpty();
}

TEST_F(BadImageTest, StillsOfAnotherSizeThanTheIntrinsicsAreRefused) {
  expectMisfit(cv::Mat(1, 1, CV_8UC1, cv::Scalar(100)), ".jpg");
  expectMisfit(cv::Mat(12, 16, CV_8UC1, cv::Scalar(100)), ".jpg");
  expectMisfit(cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(100)), ".jpg");
}

TEST_F(BadImageTest, PngAndSixteenBitTiffNamedJpgAreDecodedByContents) {
  expectMisfit(cv::Mat(240, 320, CV_8UC3, cv::Scalar::all(100)), ".png");
  expectMisfit(cv::Mat(240, 320, CV_16UC1, cv::Scalar(40000)), ".tiff");
}

TEST_F(BadImageTest, CmykJpegIsDecodedToColour) {
  // Decoded like any JPEG (the full-size case keeps its poses, see the accuracy test), so a
  // small one meets the size check like any other still.
  expectMisfit(encodeCmykJpeg(cv::Mat(240, 320, CV_8UC3, cv::Scalar(40, 120, 200))),
               cv::Size(320, 240));
}

TEST_F(BadImageTest, BlackStillsGiveTooFewMatches) {
  // The one full run of the suite: black stills of the right size pass loading, and the
  // flow between featureless views finds almost no correspondence for the first pair.
  const cv::Mat black(60, 80, CV_8UC1, cv::Scalar(0));
  for (int n = 0; n < 6; ++n) {
    ASSERT_TRUE(cv::imwrite(images() + "/origin_" + std::to_string(n) + ".jpg", black));
  }
  const RunResult result = run();
  EXPECT_EQ(result.status, 8);
  const std::string prefix = "\n" + std::string(gbk::kPairIdPrefix) + "0 1" + gbk::kTooFewMatchesText;
  const std::size_t line = result.out.find(prefix);
  ASSERT_NE(line, std::string::npos) << result.out;
  EXPECT_NE(result.out.find("<100\nresult : 8\n", line), std::string::npos) << result.out;
}

}  // namespace
}  // namespace ringcalib::test
