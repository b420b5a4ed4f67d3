// The extrinsic job's loading stage through the real executable: what the user sees for each
// broken parameter file or image folder, and that the file is left exactly as it was.
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "tests/support/test_support.h"

namespace {

using ringcalib::test::readFileBytes;
using ringcalib::test::runTool;
using ringcalib::test::TempDir;
using ringcalib::test::writeFileBytes;

std::string camera(int id, bool withMatrix = true) {
  std::string text = "\"origin_" + std::to_string(id) + "\":{";
  if (withMatrix) text += R"("camera_matrix":{"w":12.0,"x":820.0,"y":820.0,"z":16.0},)";
  return text + R"("distortion_factor":{"w":0.0,"x":0.01,"y":0.0,"z":0.0}})";
}

std::string parameterFile(int cameraWithoutMatrix = -1) {
  std::string text = "{";
  for (int id = 0; id < 6; ++id) text += camera(id, id != cameraWithoutMatrix) + ",";
  return text + "\"version\":1}";
}

void writeStills(const std::string& folder) {
  const cv::Mat still(30, 40, CV_8UC3, cv::Scalar(90, 120, 200));
  for (int id = 0; id < 6; ++id) {
    cv::imwrite(folder + "/origin_" + std::to_string(id) + ".jpg", still);
  }
}

TEST(ExtrinsicLoad, BrokenParameterFilesGiveTheirCodesAndKeepTheFile) {
  TempDir dir;
  const struct {
    std::string content;
    std::string out;
    int status;
  } cases[] = {
      {"", "result : 4\n", 4},
      {"not json",
       "read version failed : [json.exception.parse_error.101] parse error at line 1, column 2: "
       "syntax error while parsing value - invalid literal; last read: 'no'\nresult : 4\n",
       4},
      {"{\"version\":2}", "result : 5\n", 5},
      {"{\"origin_0\":{},\"version\":\"1\"}",
       "read version failed : [json.exception.type_error.302] type must be number, but is "
       "string\nresult : 4\n",
       4},
  };
  for (const auto& c : cases) {
    writeFileBytes(dir.file("p.json"), c.content);
    const auto run = runTool({"-w", "extrinsic", "-f", dir.file("p.json"), "-i", dir.path()});
    EXPECT_EQ(run.status, c.status) << c.content;
    EXPECT_EQ(run.out, c.out) << c.content;
    EXPECT_EQ(readFileBytes(dir.file("p.json")), c.content);
  }
  const auto missing = runTool({"-w", "extrinsic", "-f", dir.file("absent.json")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "result : 2\n");
}

TEST(ExtrinsicLoad, CameraThreeWithoutMatrixStopsAfterThreeCameras) {
  TempDir dir;
  writeStills(dir.path());
  const std::string content = parameterFile(3);
  writeFileBytes(dir.file("p.json"), content);
  const auto run = runTool({"-w", "extrinsic", "-f", dir.file("p.json"), "-i", dir.path()});
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.out,
            "progress:0.0166667\nprogress:0.0333333\nprogress:0.05\n"
            "read intrinsic param failed : [json.exception.type_error.302] type must be number, "
            "but is null\nresult : 4\n");
  EXPECT_EQ(readFileBytes(dir.file("p.json")), content);
}

TEST(ExtrinsicLoad, MissingImageAndMissingFolder) {
  TempDir dir;
  writeStills(dir.path());
  std::remove(dir.file("origin_2.jpg").c_str());
  writeFileBytes(dir.file("p.json"), parameterFile());

  const auto run = runTool({"-w", "extrinsic", "-f", dir.file("p.json"), "-i", dir.path()});
  EXPECT_EQ(run.status, 7);
  EXPECT_EQ(run.out, "progress:0.0166667\nprogress:0.0333333\n" + dir.file("origin_2.jpg") +
                         " is empty\nresult : 7\n");

  const auto noFolder = runTool({"-w", "extrinsic", "-f", dir.file("p.json")});
  EXPECT_EQ(noFolder.status, 7);
  EXPECT_NE(noFolder.out.find("--image"), std::string::npos);
  EXPECT_EQ(readFileBytes(dir.file("p.json")), parameterFile());
}

}  // namespace
