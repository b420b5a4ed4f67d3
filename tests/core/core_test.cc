// The shared pieces of core/: the GBK messages and the job guard.
#include <new>
#include <stdexcept>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "core/gbk_text.h"
#include "core/job_guard.h"
#include "tests/support/test_support.h"

namespace ringcalib {
namespace {

// Against the bytes of `iconv -f UTF-8 -t GBK` of each message.
TEST(GbkText, BytesOfTheChineseMessages) {
  const std::pair<const char*, const char*> cases[] = {
      {gbk::kOptimisationTime, "d3c5bbafcab1bce43a20"},
      {gbk::kPairIdPrefix, "6964ceaa"},
      {gbk::kTooFewMatchesText, "b5c4cdbccff1c6a5c5e4b5e3cafdccabc9d9a3acb5e3cafdceaaa3ba"},
      {gbk::kTooFewBoardImages,
       "bcecb2e2b5bdb5c4c6e5c5ccb8f1cdbccff1ccabc9d9a3acc7ebd6d8d0c2c2bcc6e5c5ccb8f1cad3c6b5"},
      {gbk::kRecordSlowly, "c2bcc6e5c5ccb8f1cad3c6b5cab1a3acc7ebcef1b1d8b1a3b3d6d4c8cbd9bbbac2fdb5d8d7aab6afcfe0bbfa"
                           "a3acd4bc31b7d6d6d3c3bfc8a6ceaabcd1"}};
  for (const auto& [text, bytes] : cases) {
    std::string hex;
    for (const char* p = text; *p != '\0'; ++p) hex += cv::format("%02x", static_cast<unsigned char>(*p));
    EXPECT_EQ(hex, bytes);
  }
}

// Whatever escapes a job becomes code 9 and exactly one line naming the job.
TEST(JobGuard, EscapingExceptionsBecomeCodeNineAndOneLine) {
  const std::pair<std::function<int()>, std::string> cases[] = {
      {[]() -> int { CV_Error(cv::Error::StsBadArg, "first\nsecond"); }, "job failed: image library error: "},
      {[]() -> int { throw std::bad_alloc(); }, "job failed: out of memory\n"},
      {[]() -> int { throw std::runtime_error("disk\ngone\n"); }, "job failed: disk gone\n"},
      {[]() -> int { throw 7; }, "job failed: unknown error\n"}};
  for (const auto& [body, line] : cases) {
    test::CoutCapture out;
    EXPECT_EQ(runGuarded("job", body), 9);
    const std::string text = out.text();
    EXPECT_EQ(text.rfind(line, 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  }
  EXPECT_EQ(runGuarded("job", [] { return 4; }), 4);
}

}  // namespace
}  // namespace ringcalib
