// Parameter files the tool cannot read, use or replace: a code, at most one line naming the
// file or camera, and the file exactly as it was.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "tests/e2e/bad_input.h"

namespace ringcalib::test {
namespace {

class BadParameterFileTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directory(images()); }
  std::string images() const { return dir_.file("image"); }
  std::string file() const { return dir_.file("camera.json"); }
  // Stills of the size the intrinsics were made for (1.25 x 64 x 48), for all six cameras.
  void writeStills() {
    const cv::Mat still(60, 80, CV_8UC1, cv::Scalar(128));
    for (int n = 0; n < 6; ++n) {
      ASSERT_TRUE(cv::imwrite(images() + "/origin_" + std::to_string(n) + ".jpg", still));
    }
  }
  RunResult extrinsic(const std::string& path) {
    return runKeepingFile({"-w", "extrinsic", "-i", images(), "-f", path}, path);
  }
  RunResult intrinsic(const std::string& path) {
    return runKeepingFile({"-w", "intrinsic", "-v", dir_.file("no videos"), "-f", path}, path);
  }

  TempDir dir_;
};

TEST_F(BadParameterFileTest, MissingFileIsNotOpened) {
  const RunResult run = extrinsic(file());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "result : 2\n");
}

TEST_F(BadParameterFileTest, DirectoryIsNeitherReadNorReplaced) {
  std::filesystem::create_directory(file());
  const RunResult read = extrinsic(file());
  EXPECT_EQ(read.status, 2);
  EXPECT_TRUE(hasLine(read.out, "Can not read camera parameter file : " + file() +
                                    " is a directory"))
      << read.out;
  const RunResult write = intrinsic(file());
  EXPECT_EQ(write.status, 2);
  EXPECT_EQ(write.out, "result : 2\n");
  EXPECT_TRUE(std::filesystem::is_directory(file()));
}

TEST_F(BadParameterFileTest, ReadOnlyFileIsKeptEvenForRoot) {
  writeFileBytes(file(), intrinsicDocument());
  ASSERT_EQ(::chmod(file().c_str(), 0444), 0);
  const RunResult run = intrinsic(file());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "result : 2\n");
  struct stat info;
  ASSERT_EQ(::stat(file().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0444u);
}

TEST_F(BadParameterFileTest, FolderThatDoesNotExist) {
  const std::string path = dir_.file("no such folder/camera.json");
  const RunResult run = intrinsic(path);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "result : 2\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.file("no such folder")));
}

TEST_F(BadParameterFileTest, UnreadableContentsGiveCode4Or5) {
  struct Case {
    std::string bytes;
    int status;
  };
  const std::vector<Case> cases = {
      {"", 4},
      {"camera parameters", 4},
      {R"({"version":1)", 4},
      {R"({"origin_0":{}})", 4},             // no version
      {R"({"version":"1"})", 4},             // version not a number
      {R"({"version":2})", 5},
      {R"({"version":1e999})", 4},           // beyond the range of a double
      {"{\"version\":1" + std::string(400, '0') + "}", 4},
  };
  for (const Case& c : cases) {
    writeFileBytes(file(), c.bytes);
    const RunResult run = extrinsic(file());
    EXPECT_EQ(run.status, c.status) << c.bytes << "\n" << run.out;
    EXPECT_TRUE(hasLine(run.out, "result : " + std::to_string(c.status))) << run.out;
  }
}

TEST_F(BadParameterFileTest, LargeAndDeeplyNestedDocumentsAreRead) {
  // Both are valid JSON: the job reads them and stops at the first missing still.
  // About 4 MB of numbers in an extra member, and arrays nested 100000 deep.
  std::string large = intrinsicDocument();
  std::string numbers;
  for (int i = 0; i < 400000; ++i) numbers += "12345.6789,";
  numbers.pop_back();
  large.insert(1, "\"padding\":[" + numbers + "],");
  const std::string depth(100000, '[');
  const std::string nested = R"({"deep":)" + depth + std::string(100000, ']') + R"(,"version":1})";
  for (const std::string& bytes : {large, nested}) {
    writeFileBytes(file(), bytes);
    const RunResult run = extrinsic(file());
    EXPECT_EQ(run.status, 7);
    EXPECT_TRUE(hasLine(run.out, images() + "/origin_0.jpg is empty")) << run.out;
  }
}

TEST_F(BadParameterFileTest, UnusableIntrinsicsAreRefusedNamingTheCamera) {
  writeStills();
  for (const std::string matrix : {R"({"w":24.0,"x":0.0,"y":30.0,"z":32.0})",
                                   R"({"w":24.0,"x":30.0,"y":-30.0,"z":32.0})",
                                   R"({"w":24.0,"x":1e308,"y":30.0,"z":32.0})",
                                   R"({"w":1.7e308,"x":30.0,"y":30.0,"z":32.0})"}) {
    writeFileBytes(file(), intrinsicDocument(matrix));
    const RunResult run = extrinsic(file());
    EXPECT_EQ(run.status, 4) << matrix;
    EXPECT_TRUE(hasLine(run.out, "camera 0: the intrinsic parameters in " + file() +
                                     " do not fit " + images() +
                                     "/origin_0.jpg (80x60): fx, fy must be positive, every "
                                     "value finite, the principal point near the centre"))
        << run.out;
  }
}

TEST_F(BadParameterFileTest, IntrinsicsThatAreNotNumbers) {
  writeStills();
  writeFileBytes(file(), intrinsicDocument(R"({"w":24.0,"x":"thirty","y":30.0,"z":32.0})"));
  const RunResult run = extrinsic(file());
  EXPECT_EQ(run.status, 4);
  EXPECT_NE(run.out.find("read intrinsic param failed : "), std::string::npos) << run.out;
}

}  // namespace
}  // namespace ringcalib::test
