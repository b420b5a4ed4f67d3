#include "rig/compact_json.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "core/number_format.h"

namespace ringcalib {
namespace {

using json = nlohmann::json;

[[noreturn]] void throwNotANumber(const json& value) {
  throw json::type_error::create(
      302, std::string("type must be number, but is ") + value.type_name(), &value);
}

void appendScalar(std::string& out, const json& value) {
  switch (value.type()) {
    case json::value_t::number_float:
      out += formatFileNumber(value.get<double>());
      break;
    case json::value_t::number_integer:
      out += std::to_string(value.get<std::int64_t>());
      break;
    case json::value_t::number_unsigned:
      out += std::to_string(value.get<std::uint64_t>());
      break;
    default:
      // null, booleans and strings (with the library's escaping) are written as the
      // library writes them; they carry no floating-point digits.
      out += value.dump();
      break;
  }
}

}  // namespace

std::string formatFileNumber(double value) {
  if (!std::isfinite(value)) return "null";
  std::string result = formatNumber("%.15g", value);
  if (result.find_first_of(".e") == std::string::npos) result += ".0";
  return result;
}

std::string serializeCompact(const json& document) {
  struct Level {
    const json* container;
    json::const_iterator next;
  };
  std::string out;
  std::vector<Level> open;

  auto enter = [&](const json& value) {
    if (value.is_object() || value.is_array()) {
      out += value.is_object() ? '{' : '[';
      open.push_back({&value, value.cbegin()});
    } else {
      appendScalar(out, value);
    }
  };

  enter(document);
  while (!open.empty()) {
    Level& top = open.back();
    const bool isObject = top.container->is_object();
    if (top.next == top.container->cend()) {
      out += isObject ? '}' : ']';
      open.pop_back();
      continue;
    }
    if (top.next != top.container->cbegin()) out += ',';
    if (isObject) {
      out += json(top.next.key()).dump();
      out += ':';
    }
    const json& child = *top.next;
    ++top.next;
    enter(child);  // may grow `open`; `top` is not used after this
  }
  return out;
}

double readNumber(const json& value) {
  if (!value.is_number()) throwNotANumber(value);
  return value.get<double>();
}

std::int64_t readInteger(const json& value) {
  if (!value.is_number()) throwNotANumber(value);
  if (!value.is_number_float()) return value.get<std::int64_t>();
  // Truncation toward zero; a value beyond the 64-bit range (which a plain cast would
  // turn into undefined behaviour) reads as the smallest integer, which is no version.
  const double truncated = std::trunc(value.get<double>());
  constexpr double kLimit = 9.2e18;
  if (!(truncated > -kLimit && truncated < kLimit)) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(truncated);
}

}  // namespace ringcalib
