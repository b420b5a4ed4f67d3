#pragma once

#include <cstdio>
#include <string>

namespace ringcalib::report {

// One number put into a printf pattern, for the report's verdict reasons and figure labels.
inline std::string formatNumber(const char* pattern, double value) {
  char text[96];
  std::snprintf(text, sizeof(text), pattern, value);
  return text;
}

}  // namespace ringcalib::report
