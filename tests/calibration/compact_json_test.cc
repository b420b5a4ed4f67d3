// The bytes of the parameter file: compact, keys in byte order, 15 significant digits.
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "calibration/compact_json.h"
#include "core/gbk_text.h"

namespace {

using nlohmann::json;
using ringcalib::formatNumber;
using ringcalib::serializeCompact;

TEST(FormatNumber, FifteenSignificantDigitsAndAPointForWholeNumbers) {
  EXPECT_EQ(formatNumber(960.0), "960.0");
  EXPECT_EQ(formatNumber(550.0), "550.0");
  EXPECT_EQ(formatNumber(0.002), "0.002");
  EXPECT_EQ(formatNumber(1e-20), "1e-20");
  EXPECT_EQ(formatNumber(1e21), "1e+21");
  EXPECT_EQ(formatNumber(123456789012345678.0), "1.23456789012346e+17");
  EXPECT_EQ(formatNumber(0.0), "0.0");
  EXPECT_EQ(formatNumber(-0.0), "-0.0");
  EXPECT_EQ(formatNumber(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(formatNumber(-2.5), "-2.5");
  EXPECT_EQ(formatNumber(0.1 + 0.2), "0.3");
}

TEST(FormatNumber, NonFiniteValuesAreNull) {
  EXPECT_EQ(formatNumber(std::numeric_limits<double>::quiet_NaN()), "null");
  EXPECT_EQ(formatNumber(std::numeric_limits<double>::infinity()), "null");
  EXPECT_EQ(formatNumber(-std::numeric_limits<double>::infinity()), "null");
}

TEST(SerializeCompact, KeysInByteOrderAtEveryLevelAndIntegersPlain) {
  json doc;
  doc["version"] = 1;
  doc["origin_1"]["b"] = 2.0;
  doc["origin_1"]["B"] = json::array({1, -2, 3.5, nullptr, true, "x\"y\n\x01/"});
  doc["origin_0"] = json::object();
  doc["Z"] = std::numeric_limits<double>::quiet_NaN();
  doc["\xc3\xa9"] = 18446744073709551615ULL;
  EXPECT_EQ(serializeCompact(doc),
            "{\"Z\":null,\"origin_0\":{},\"origin_1\":{\"B\":[1,-2,3.5,null,true,"
            "\"x\\\"y\\n\\u0001/\"],\"b\":2.0},\"version\":1,\"\xc3\xa9\":18446744073709551615}");
}

TEST(SerializeCompact, ScalarsAndEmptyContainersAtTheTop) {
  EXPECT_EQ(serializeCompact(json()), "null");
  EXPECT_EQ(serializeCompact(json::array()), "[]");
  EXPECT_EQ(serializeCompact(json(0.5)), "0.5");
}

TEST(SerializeCompact, DeepNestingDoesNotExhaustTheStack) {
  const int depth = 200000;
  std::string text(depth, '[');
  text += std::string(depth, ']');
  const json doc = json::parse(text);
  EXPECT_EQ(serializeCompact(doc), text);
}

TEST(ReadNumber, NumbersOnly) {
  EXPECT_EQ(ringcalib::readNumber(json(582)), 582.0);
  EXPECT_EQ(ringcalib::readNumber(json(7u)), 7.0);
  EXPECT_EQ(ringcalib::readNumber(json(0.25)), 0.25);
  for (const json& bad : {json(), json(true), json("1"), json::array({1}), json::object()}) {
    try {
      ringcalib::readNumber(bad);
      ADD_FAILURE() << "accepted " << bad.dump();
    } catch (const json::type_error& e) {
      EXPECT_EQ(std::string(e.what()), std::string("[json.exception.type_error.302] type must be "
                                                   "number, but is ") + bad.type_name());
    }
  }
}

TEST(ReadInteger, TruncatesTowardZeroAndNeverOverflows) {
  EXPECT_EQ(ringcalib::readInteger(json(1.9)), 1);
  EXPECT_EQ(ringcalib::readInteger(json(-1.9)), -1);
  EXPECT_EQ(ringcalib::readInteger(json(2)), 2);
  EXPECT_NE(ringcalib::readInteger(json(1e300)), 1);
  EXPECT_NE(ringcalib::readInteger(json(-1e300)), 1);
  EXPECT_THROW(ringcalib::readInteger(json(false)), json::type_error);
}

// The GBK messages, against the bytes of `iconv -f UTF-8 -t GBK`.
TEST(GbkText, BytesOfTheChineseMessages) {
  auto hex = [](const char* text) {
    std::string out;
    char byte[3];
    for (const char* p = text; *p != '\0'; ++p) {
      std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(*p));
      out += byte;
    }
    return out;
  };
  EXPECT_EQ(hex(ringcalib::gbk::kOptimisationTime), "d3c5bbafcab1bce43a20");
  EXPECT_EQ(hex(ringcalib::gbk::kPairIdPrefix), "6964ceaa");
  EXPECT_EQ(hex(ringcalib::gbk::kTooFewMatchesText),
            "b5c4cdbccff1c6a5c5e4b5e3cafdccabc9d9a3acb5e3cafdceaaa3ba");
  EXPECT_EQ(hex(ringcalib::gbk::kTooFewBoardImages),
            "bcecb2e2b5bdb5c4c6e5c5ccb8f1cdbccff1ccabc9d9a3acc7ebd6d8d0c2c2bcc6e5c5ccb8f1cad3c6b5");
  EXPECT_EQ(hex(ringcalib::gbk::kRecordSlowly),
            "c2bcc6e5c5ccb8f1cad3c6b5cab1a3acc7ebcef1b1d8b1a3b3d6d4c8cbd9bbbac2fdb5d8d7aab6afcfe0bbfa"
            "a3acd4bc31b7d6d6d3c3bfc8a6ceaabcd1");
}

}  // namespace
