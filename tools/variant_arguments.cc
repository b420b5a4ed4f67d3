#include "tools/variant_arguments.h"

#include <cstdlib>

namespace ringcalib::synth {
namespace {

// The whole of `text` as one number.
std::optional<double> parseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<ValueRange> parseValueRange(const std::string& text) {
  const size_t comma = text.find(',');
  const std::optional<double> low = parseNumber(text.substr(0, comma));
  const std::optional<double> high = comma == std::string::npos ? low : parseNumber(text.substr(comma + 1));
  if (!low || !high) return std::nullopt;
  return ValueRange{*low, *high};
}

std::optional<CameraTurn> parseCameraTurn(const std::string& text) {
  const size_t first = text.find(':');
  const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
  if (second == std::string::npos || second != first + 2) return std::nullopt;
  const std::string cameraText = text.substr(0, first);
  const char axis = text[first + 1];
  const std::optional<double> degrees = parseNumber(text.substr(second + 1));
  if (cameraText.size() != 1 || cameraText[0] < '0' || cameraText[0] > '7' || !degrees) return std::nullopt;
  if (axis != 'x' && axis != 'y' && axis != 'z') return std::nullopt;
  return CameraTurn{cameraText[0] - '0', axis - 'x', *degrees};
}

}  // namespace ringcalib::synth
