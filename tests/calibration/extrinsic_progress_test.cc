#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "calibration/extrinsic_progress.h"

namespace {

using namespace ringcalib::extrinsic;

// The 18 values as the job prints them, in the stream's current notation.
std::vector<std::string> printedProgress(InputParam::CalibrationType type, bool fixed) {
  const double s = progressShare(type);
  std::vector<std::string> lines;
  const auto print = [&](double value) {
    std::ostringstream out;
    if (fixed) out << std::fixed;
    out << value;
    lines.push_back(out.str());
  };
  for (int n = 0; n < 6; ++n) print(loadingProgress(n, s));
  for (int n = 0; n < 6; ++n) print(preparingProgress(n, s));
  for (int i = 0; i < 6; ++i) print(pairProgress(i, s));
  return lines;
}

TEST(ExtrinsicProgress, AloneInDefaultNotation) {
  const std::vector<std::string> expected = {
      "0.0166667", "0.0333333", "0.05",     "0.0666667", "0.0833333", "0.1",
      "0.155556",  "0.211111",  "0.266667", "0.322222",  "0.377778",  "0.433333",
      "0.527778",  "0.622222",  "0.716667", "0.811111",  "0.905556",  "1"};
  EXPECT_EQ(printedProgress(InputParam::EXTRINSIC, false), expected);
}

TEST(ExtrinsicProgress, AfterTheIntrinsicJobInFixedNotation) {
  const std::vector<std::string> expected = {
      "0.901667", "0.903333", "0.905000", "0.906667", "0.908333", "0.910000",
      "0.915556", "0.921111", "0.926667", "0.932222", "0.937778", "0.943333",
      "0.952778", "0.962222", "0.971667", "0.981111", "0.990556", "1.000000"};
  EXPECT_EQ(printedProgress(InputParam::ALL, true), expected);
}

TEST(ExtrinsicProgress, EndsAtExactlyOne) {
  for (auto type : {InputParam::EXTRINSIC, InputParam::ALL}) {
    EXPECT_EQ(pairProgress(5, progressShare(type)), 1.0);
  }
}

}  // namespace
