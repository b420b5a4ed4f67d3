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

// A count as the report's sentences say it: "three" ... "eight" for the counts a ring has
// (and "two" for its fewest other pairs), digits otherwise.
inline std::string countWord(int count) {
  static const char* const kWords[] = {"zero", "one", "two", "three", "four", "five", "six", "seven", "eight"};
  return count >= 0 && count <= 8 ? kWords[count] : std::to_string(count);
}

}  // namespace ringcalib
