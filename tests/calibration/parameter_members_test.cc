// The camera members of the parameter document: what the jobs enter and read back.
#include <string>

#include <gtest/gtest.h>

#include "calibration/compact_json.h"
#include "calibration/extrinsic_calibration.h"
#include "calibration/video_calibration.h"
#include "tests/support/cout_capture.h"

namespace {

using ringcalib::test::CoutCapture;

constexpr char kWorkedExample[] =
    R"({"origin_0":{"camera_matrix":{"w":540.2187,"x":582.6631,"y":582.1049,"z":960.0},"distortion_factor":{"w":-0.0021,"x":0.0435,"y":-0.0117,"z":0.0049}},)"
    R"("origin_1":{"camera_matrix":{"w":541.0,"x":580.25,"y":580.5,"z":958.75},"distortion_factor":{"w":-0.0019,"x":0.0441,"y":-0.0125,"z":0.0052}},)"
    R"("origin_2":{"camera_matrix":{"w":539.6,"x":583.1,"y":582.9,"z":961.4},"distortion_factor":{"w":-0.0023,"x":0.0429,"y":-0.0109,"z":0.0046}},)"
    R"("origin_3":{"camera_matrix":{"w":540.8,"x":581.7,"y":581.2,"z":959.2},"distortion_factor":{"w":-0.002,"x":0.0437,"y":-0.0121,"z":0.0051}},)"
    R"("origin_4":{"camera_matrix":{"w":540.0,"x":582.0,"y":582.0,"z":960.5},"distortion_factor":{"w":-0.0022,"x":0.0433,"y":-0.0114,"z":0.0048}},)"
    R"("origin_5":{"camera_matrix":{"w":538.9,"x":579.9,"y":580.1,"z":962.0},"distortion_factor":{"w":-0.0018,"x":0.0446,"y":-0.0131,"z":0.0055}},"version":1})";

TEST(WriteCameraParams, WorkedExampleComesOutByteForByte) {
  const double cameras[6][8] = {
      {582.6631, 582.1049, 960.0, 540.2187, 0.0435, -0.0117, 0.0049, -0.0021},
      {580.25, 580.5, 958.75, 541.0, 0.0441, -0.0125, 0.0052, -0.0019},
      {583.1, 582.9, 961.4, 539.6, 0.0429, -0.0109, 0.0046, -0.0023},
      {581.7, 581.2, 959.2, 540.8, 0.0437, -0.0121, 0.0051, -0.002},
      {582.0, 582.0, 960.5, 540.0, 0.0433, -0.0114, 0.0048, -0.0022},
      {579.9, 580.1, 962.0, 538.9, 0.0446, -0.0131, 0.0055, -0.0018},
  };
  VideoCalibration job;
  // Cameras entered in reverse order still come out in key order.
  for (int id = 5; id >= 0; --id) {
    const double* c = cameras[id];
    const cv::Matx33d K(c[0], 0, c[2], 0, c[1], c[3], 0, 0, 1);
    ASSERT_EQ(job.writeCameraParams(K, cv::Vec4d(c[4], c[5], c[6], c[7]), id), 0);
  }
  nlohmann::json document = job.document();
  document["version"] = 1;
  EXPECT_EQ(ringcalib::serializeCompact(document), kWorkedExample);
}

TEST(WriteExtrinsicParam, TwelveMembersInKeyOrderReplacingAnEarlierSet) {
  ExtrinsicCalibration job;
  job.document() = nlohmann::json::parse(kWorkedExample);
  job.document()["origin_0"]["extrinsic_param"] = {{"R00", 7.0}, {"old", 1}};
  const cv::Mat R = (cv::Mat_<double>(3, 3) << 0.50213, 0.00412, -0.86478, -0.00731, 0.99997,
                     0.00052, 0.86476, 0.00606, 0.50215);
  const cv::Mat T = (cv::Mat_<double>(3, 1) << -0.96594, 0.00871, 0.25864);
  ASSERT_EQ(job.writeExtrinsicParam(R, T, 0), 0);
  const std::string text = ringcalib::serializeCompact(job.document());
  EXPECT_NE(text.find(
                R"("origin_0":{"camera_matrix":{"w":540.2187,"x":582.6631,"y":582.1049,"z":960.0},"distortion_factor":{"w":-0.0021,"x":0.0435,"y":-0.0117,"z":0.0049},"extrinsic_param":{"R00":0.50213,"R01":0.00412,"R02":-0.86478,"R10":-0.00731,"R11":0.99997,"R12":0.00052,"R20":0.86476,"R21":0.00606,"R22":0.50215,"T00":-0.96594,"T10":0.00871,"T20":0.25864}},"origin_1")"),
            std::string::npos)
      << text;
}

TEST(WriteExtrinsicParam, ReadsThroughTheRowStride) {
  ExtrinsicCalibration job;
  cv::Mat big = cv::Mat::zeros(5, 5, CV_64F);
  big.at<double>(1, 1) = 3.0;  // R(0,0) of the 3x3 window below
  big.at<double>(3, 3) = 4.0;  // R(2,2)
  const cv::Mat R = big(cv::Rect(1, 1, 3, 3));
  const cv::Mat T = big(cv::Rect(1, 1, 1, 3));
  ASSERT_EQ(job.writeExtrinsicParam(R, T, 2), 0);
  const nlohmann::json& pose = job.document()["origin_2"]["extrinsic_param"];
  EXPECT_EQ(pose["R00"].get<double>(), 3.0);
  EXPECT_EQ(pose["R22"].get<double>(), 4.0);
  EXPECT_EQ(pose["T00"].get<double>(), 3.0);
  EXPECT_EQ(pose.size(), 12u);
}

TEST(ReadCameraParams, NumbersOfAnyKindFillKAndD) {
  ExtrinsicCalibration job;
  job.document() = nlohmann::json::parse(
      R"({"origin_4":{"camera_matrix":{"w":540,"x":582,"y":581.5,"z":960},)"
      R"("distortion_factor":{"w":-0.002,"x":1,"y":0,"z":0.5}}})");
  cv::Matx33d K = cv::Matx33d::zeros();
  cv::Vec4d D(0, 0, 0, 0);
  ASSERT_EQ(job.readCameraParams(K, D, 4), 0);
  EXPECT_EQ(K, cv::Matx33d(582, 0, 960, 0, 581.5, 540, 0, 0, 1));
  EXPECT_EQ(D, cv::Vec4d(1, 0, 0.5, -0.002));
}

TEST(ReadCameraParams, MissingOrNonNumericValuesGiveCodeFourWithTheLibraryText) {
  const struct {
    const char* document;
    const char* message;
  } cases[] = {
      {R"({"origin_1":{}})",
       "read intrinsic param failed : [json.exception.type_error.302] type must be number, but is "
       "null\n"},
      {R"({"origin_1":{"camera_matrix":{"w":1,"x":1,"y":1,"z":1},"distortion_factor":{"w":null,"x":1,"y":1,"z":1}}})",
       "read intrinsic param failed : [json.exception.type_error.302] type must be number, but is "
       "null\n"},
      {R"({"origin_1":{"camera_matrix":{"w":1,"x":"582","y":1,"z":1}}})",
       "read intrinsic param failed : [json.exception.type_error.302] type must be number, but is "
       "string\n"},
      {R"({"origin_1":[1,2]})",
       "read intrinsic param failed : [json.exception.type_error.305] cannot use operator[] with a "
       "string argument with array\n"},
  };
  for (const auto& c : cases) {
    ExtrinsicCalibration job;
    job.document() = nlohmann::json::parse(c.document);
    cv::Matx33d K = cv::Matx33d::zeros();
    cv::Vec4d D(0, 0, 0, 0);
    CoutCapture out;
    EXPECT_EQ(job.readCameraParams(K, D, 1), 4) << c.document;
    EXPECT_EQ(out.text(), c.message);
  }
}

}  // namespace
