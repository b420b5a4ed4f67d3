// The reduced copies of the job's images that the report keeps.
#include <gtest/gtest.h>

#include "report/view_samples.h"
#include "tests/report/sample_report.h"

namespace {

using ringcalib::report::PairReport;
using ringcalib::report::recordStrips;
using ringcalib::report::reducedPreview;

TEST(ReducedPreview, KeepsTheAspectAndNeverEnlarges) {
  EXPECT_EQ(reducedPreview(cv::Mat(3600, 3600, CV_8UC1, cv::Scalar(7))).size(), cv::Size(720, 720));
  EXPECT_EQ(reducedPreview(cv::Mat(1800, 3600, CV_8UC1)).size(), cv::Size(720, 360));
  EXPECT_EQ(reducedPreview(cv::Mat(300, 200, CV_8UC1)).size(), cv::Size(200, 300));
  EXPECT_TRUE(reducedPreview(cv::Mat()).empty());
}

TEST(RecordStrips, DrawnMatchesLandOnTheirPointsInTheReducedStrips) {
  // Bright squares mark the correspondences in the full views; after the reduction each
  // drawn match must still sit on a bright square.
  for (unsigned seed = 1; seed <= 3; ++seed) {
    std::mt19937 random(seed);
    const int stripX = 1050, stripWidth = 900, rows = 3000;
    cv::Mat first(rows, 3000, CV_8UC1, cv::Scalar(0)), second(rows, 3000, CV_8UC1, cv::Scalar(0));
    std::uniform_real_distribution<float> x(stripX + 20.0f, stripX + stripWidth - 20.0f), y(20.0f, rows - 20.0f);
    std::vector<cv::Point2f> pts1, pts2;
    for (int i = 0; i < 400; ++i) {
      pts1.emplace_back(x(random), y(random));
      pts2.emplace_back(x(random), y(random));
      cv::rectangle(first, cv::Rect(cv::Point(pts1.back()) - cv::Point(8, 8), cv::Size(17, 17)), 255, cv::FILLED);
      cv::rectangle(second, cv::Rect(cv::Point(pts2.back()) - cv::Point(8, 8), cv::Size(17, 17)), 255, cv::FILLED);
    }
    PairReport pair;
    recordStrips(pair, first, second, stripX, stripWidth, pts1, pts2);
    ASSERT_EQ(pair.firstStrip.rows, ringcalib::report::kStripHeight);
    EXPECT_EQ(pair.firstStrip.cols, stripWidth * ringcalib::report::kStripHeight / rows);
    EXPECT_EQ(pair.secondStrip.size(), pair.firstStrip.size());
    ASSERT_EQ(pair.matches.size(), static_cast<std::size_t>(ringcalib::report::kDrawnMatches));
    for (const auto& match : pair.matches) {
      EXPECT_GT(pair.firstStrip.at<uchar>(cv::Point(match.first)), 100) << "seed " << seed;
      EXPECT_GT(pair.secondStrip.at<uchar>(cv::Point(match.second)), 100) << "seed " << seed;
    }
  }
}

TEST(RecordStrips, AStripOutsideTheViewsRecordsNothing) {
  std::mt19937 random(1);
  const cv::Mat view = ringcalib::test::texturedView(random, cv::Size(400, 300));
  PairReport pair;
  recordStrips(pair, view, view, 350, 100, {{360, 10}}, {{360, 10}});
  EXPECT_TRUE(pair.firstStrip.empty());
  EXPECT_TRUE(pair.matches.empty());
  // Fewer correspondences than are drawn: all of them, each once.
  recordStrips(pair, view, view, 100, 100, {{110, 10}, {150, 20}}, {{120, 10}, {160, 30}});
  ASSERT_EQ(pair.matches.size(), 2u);
  EXPECT_EQ(pair.matches[0].first, cv::Point2f(10, 10));
  EXPECT_EQ(pair.matches[1].second, cv::Point2f(60, 30));
}

}  // namespace
