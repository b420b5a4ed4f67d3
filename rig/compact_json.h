#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

// The camera parameter file's serialisation: compact, keys in byte order, numbers with
// 15 significant digits. The JSON library's own dump() prints the shortest round-trip
// digits instead, so the writer formats every value itself.
namespace ringcalib {

// "%.15g" with ".0" appended when the text has neither '.' nor 'e'; NaN and infinities
// become "null" (JSON has no literal for them).
std::string formatFileNumber(double value);

// Compact text of the whole document. Iterative, so a deeply nested member read from a
// user's file cannot exhaust the stack when the document is written back.
std::string serializeCompact(const nlohmann::json& document);

// A JSON number as double (integers and unsigned numbers converted). Anything else raises
// the library's own type error, "[json.exception.type_error.302] type must be number, but
// is <type>"; unlike the library's conversion, a boolean is not taken as a number.
double readNumber(const nlohmann::json& value);

// A JSON number as a 64-bit integer: integers as they are, floating-point numbers
// truncated toward zero; anything else raises the same type error as readNumber.
std::int64_t readInteger(const nlohmann::json& value);

}  // namespace ringcalib
