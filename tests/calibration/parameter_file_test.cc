// Loading the parameter file: codes and messages of every outcome.
#include <fstream>
#include <iostream>
#include <sstream>

#include <gtest/gtest.h>

#include "calibration/compact_json.h"
#include "calibration/parameter_file.h"
#include "core/result_code.h"
#include "tests/support/test_support.h"

namespace {

using ringcalib::test::TempDir;
using ringcalib::test::writeFileBytes;

struct Loaded {
  int code;
  std::string printed;
  nlohmann::json document;
};

Loaded load(const std::string& path) {
  std::ostringstream printed;
  std::streambuf* previous = std::cout.rdbuf(printed.rdbuf());
  std::ifstream in;
  Loaded result{0, "", nullptr};
  result.code = ringcalib::loadParameterDocument(in, path, result.document);
  std::cout.rdbuf(previous);
  result.printed = printed.str();
  return result;
}

TEST(LoadParameterDocument, AcceptsVersionOneAndKeepsEverything) {
  TempDir dir;
  const std::string text = R"({"note":[1,{"a":"b"}],"origin_0":{"extra":0.5},"version":1})";
  writeFileBytes(dir.file("p.json"), text);
  const Loaded loaded = load(dir.file("p.json"));
  ASSERT_EQ(loaded.code, ringcalib::kSuccess);
  EXPECT_EQ(loaded.printed, "");
  EXPECT_EQ(ringcalib::serializeCompact(loaded.document), text);
}

TEST(LoadParameterDocument, TheTextEndsAtTheFirstNulByte) {
  TempDir dir;
  writeFileBytes(dir.file("p.json"), std::string("{\"version\":1}\0trailing junk", 27));
  EXPECT_EQ(load(dir.file("p.json")).code, ringcalib::kSuccess);
}

TEST(LoadParameterDocument, CodesAndMessagesOfEveryFailure) {
  TempDir dir;
  const struct {
    const char* content;
    int code;
    const char* printed;
  } cases[] = {
      {"", 4, ""},
      {"   ", 4,
       "read version failed : [json.exception.parse_error.101] parse error at line 1, column 4: "
       "syntax error while parsing value - unexpected end of input; expected '[', '{', or a "
       "literal\n"},
      {"{\"version\":1", 4,
       "read version failed : [json.exception.parse_error.101] parse error at line 1, column 13: "
       "syntax error while parsing object - unexpected end of input; expected '}'\n"},
      {"{}", 4,
       "read version failed : [json.exception.type_error.302] type must be number, but is null\n"},
      {"{\"version\":\"1\"}", 4,
       "read version failed : [json.exception.type_error.302] type must be number, but is "
       "string\n"},
      {"{\"version\":true}", 4,
       "read version failed : [json.exception.type_error.302] type must be number, but is "
       "boolean\n"},
      {"[1]", 4,
       "read version failed : [json.exception.type_error.305] cannot use operator[] with a string "
       "argument with array\n"},
      {"{\"version\":1e999}", 4,
       "read version failed : [json.exception.out_of_range.406] number overflow parsing "
       "'1e999'\n"},
      {"{\"version\":2}", 5, ""},
      {"{\"version\":0.99}", 5, ""},
      {"{\"version\":1e300}", 5, ""},
      {"{\"version\":1.9}", 0, ""},
  };
  for (const auto& c : cases) {
    writeFileBytes(dir.file("p.json"), c.content);
    const Loaded loaded = load(dir.file("p.json"));
    EXPECT_EQ(loaded.code, c.code) << c.content;
    EXPECT_EQ(loaded.printed, c.printed) << c.content;
  }
}

TEST(LoadParameterDocument, MissingFileOrFolderCannotBeOpened) {
  TempDir dir;
  const Loaded missing = load(dir.file("absent.json"));
  EXPECT_EQ(missing.code, ringcalib::kCannotOpen);
  EXPECT_EQ(missing.printed, "");
  const Loaded folder = load(dir.path());
  EXPECT_EQ(folder.code, ringcalib::kCannotOpen);
  EXPECT_NE(folder.printed.find(dir.path()), std::string::npos);
}

}  // namespace
