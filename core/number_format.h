#pragma once

#include <cstdio>
#include <string>

namespace ringcalib {

// Numbers put into a printf pattern: the one formatter of the parameter file's digits, the
// report's figures and its verdict reasons. The pattern is always one of the program's own.
template <typename... Values>
std::string formatNumber(const char* pattern, Values... values) {
  char text[96];
  std::snprintf(text, sizeof(text), pattern, values...);
  return text;
}

}  // namespace ringcalib
