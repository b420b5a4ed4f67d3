#pragma once

#include <iostream>
#include <sstream>
#include <string>

namespace ringcalib::test {

// Collects what is written to std::cout while it exists.
class CoutCapture {
 public:
  CoutCapture() : previous_(std::cout.rdbuf(text_.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(previous_); }
  CoutCapture(const CoutCapture&) = delete;
  CoutCapture& operator=(const CoutCapture&) = delete;
  std::string text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* previous_;
};

}  // namespace ringcalib::test
