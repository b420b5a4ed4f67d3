// The CMYK JPEG writer of the bad-input tests: OpenCV reads its files back as the image that
// went in, and the stream is the four-component Adobe kind that cameras and photo tools save.
#include "tests/support/cmyk_jpeg.h"

#include <map>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace ringcalib::test {
namespace {

// Gradients in all three channels under randomly coloured rectangles: smooth areas and
// sharp edges in every block, with a size that leaves partial blocks on the right and bottom.
cv::Mat texturedImage() {
  const cv::Size size(203, 117);
  cv::Mat image(size, CV_8UC3);
  for (int y = 0; y < size.height; ++y) {
    for (int x = 0; x < size.width; ++x) {
      image.at<cv::Vec3b>(y, x) = cv::Vec3b(255 * x / (size.width - 1), 255 * y / (size.height - 1),
                                            255 - 255 * (x + y) / (size.width + size.height - 2));
    }
  }
  cv::RNG random(7);
  for (int i = 0; i < 60; ++i) {
    const cv::Point corner(random.uniform(0, size.width), random.uniform(0, size.height));
    const cv::Size extent(random.uniform(3, 30), random.uniform(3, 30));
    cv::rectangle(image, cv::Rect(corner, extent),
                  cv::Scalar(random.uniform(0, 256), random.uniform(0, 256), random.uniform(0, 256)),
                  cv::FILLED);
  }
  return image;
}

cv::Mat decode(const std::string& bytes, int flags) {
  return cv::imdecode(cv::Mat(1, static_cast<int>(bytes.size()), CV_8U, const_cast<char*>(bytes.data())),
                      flags);
}

// The payloads of the marker segments before the scan, by marker; fails the test when the
// stream does not start with SOI, end with EOI or hold well-formed segments up to SOS.
std::multimap<int, std::string> segmentsBeforeScan(const std::string& bytes) {
  std::multimap<int, std::string> segments;
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\xFF\xD9");
  size_t at = 2;
  while (at + 4 <= bytes.size()) {
    EXPECT_EQ(bytes[at], '\xFF') << "no marker at byte " << at;
    const int marker = static_cast<uint8_t>(bytes[at + 1]);
    const size_t length = static_cast<uint8_t>(bytes[at + 2]) * 256 + static_cast<uint8_t>(bytes[at + 3]);
    segments.emplace(marker, bytes.substr(at + 4, length - 2));
    if (marker == 0xDA) return segments;
    at += 2 + length;
  }
  ADD_FAILURE() << "no SOS segment";
  return segments;
}

// Largest difference of any channel of any pixel, and the mean absolute difference.
struct Difference {
  double max = 0;
  double mean = 0;
};

Difference difference(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat absolute;
  cv::absdiff(a, b, absolute);
  Difference result;
  cv::minMaxLoc(absolute.reshape(1), nullptr, &result.max);
  const cv::Scalar means = cv::mean(absolute);
  for (int c = 0; c < absolute.channels(); ++c) result.mean += means[c] / absolute.channels();
  return result;
}

// OpenCV turns inverted CMYK into BGR as R = K - ((255 - C) * K >> 8), which with K = 255
// gives every level below 255 back one higher; the coefficients, rounded to whole numbers,
// add under one level more. Measured on this image: mean 1.00, max 2.
TEST(CmykJpegTest, ReadsBackInColourAndGrey) {
  const cv::Mat image = texturedImage();
  const std::string bytes = encodeCmykJpeg(image);
  const cv::Mat decoded = decode(bytes, cv::IMREAD_COLOR);
  ASSERT_EQ(decoded.type(), CV_8UC3);
  ASSERT_EQ(decoded.size(), image.size());
  const Difference colour = difference(decoded, image);
  EXPECT_LE(colour.mean, 1.2);
  EXPECT_LE(colour.max, 3);

  // The grey reading goes through the same CMYK conversion; measured: mean 1.00, max 2.
  const cv::Mat grey = decode(bytes, cv::IMREAD_GRAYSCALE);
  ASSERT_EQ(grey.type(), CV_8UC1);
  ASSERT_EQ(grey.size(), image.size());
  cv::Mat expectedGrey;
  cv::cvtColor(image, expectedGrey, cv::COLOR_BGR2GRAY);
  const Difference luminance = difference(grey, expectedGrey);
  EXPECT_LE(luminance.mean, 1.2);
  EXPECT_LE(luminance.max, 3);
}

// OpenCV hands back three channels whatever the stream holds, so the segments themselves
// show that the file is the four-component Adobe kind.
TEST(CmykJpegTest, StreamIsBaselineAdobeCmyk) {
  const std::string bytes = encodeCmykJpeg(texturedImage());
  const std::multimap<int, std::string> segments = segmentsBeforeScan(bytes);

  ASSERT_EQ(segments.count(0xEE), 1u);
  const std::string adobe = segments.find(0xEE)->second;
  ASSERT_EQ(adobe.size(), 12u);
  EXPECT_EQ(adobe.substr(0, 5), "Adobe");
  EXPECT_EQ(adobe.substr(5, 2), std::string("\x00\x64", 2));  // version 100
  EXPECT_EQ(adobe[11], '\0') << "transform 0: CMYK, not YCCK";

  // Only SOF0; no progressive or extended frame.
  for (int marker = 0xC1; marker <= 0xCF; ++marker) {
    if (marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      EXPECT_EQ(segments.count(marker), 0u) << marker;
    }
  }
  ASSERT_EQ(segments.count(0xC0), 1u);
  const std::string frame = segments.find(0xC0)->second;
  ASSERT_EQ(frame.size(), 6u + 3 * 4);
  EXPECT_EQ(frame.substr(0, 6), std::string("\x08\x00\x75\x00\xCB\x04", 6));  // 8 bits, 117 x 203, 4
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(frame[6 + 3 * c], static_cast<char>(c + 1)) << "component id";
    EXPECT_EQ(frame[7 + 3 * c], '\x11') << "component " << c + 1 << " subsampled";
  }

  // A JFIF marker would declare YCbCr or grey.
  EXPECT_EQ(segments.count(0xE0), 0u);
}

// A wrong channel order or a missing inversion turns these into other colours.
TEST(CmykJpegTest, PureColoursKeepTheirChannels) {
  const std::map<std::string, cv::Vec3b> colours = {{"black", {0, 0, 0}},   {"white", {255, 255, 255}},
                                                    {"red", {0, 0, 255}},   {"green", {0, 255, 0}},
                                                    {"blue", {255, 0, 0}}};
  for (const cv::Size size : {cv::Size(1, 1), cv::Size(19, 10)}) {
    for (const auto& [name, colour] : colours) {
      const cv::Mat image(size, CV_8UC3, cv::Scalar(colour[0], colour[1], colour[2]));
      const cv::Mat decoded = decode(encodeCmykJpeg(image), cv::IMREAD_COLOR);
      ASSERT_EQ(decoded.size(), size) << name;
      EXPECT_LE(difference(decoded, image).max, 2) << name << " at " << size;
    }
  }
}

}  // namespace
}  // namespace ringcalib::test
