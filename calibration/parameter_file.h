#pragma once

#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

// Reading and writing the camera parameter file on disk. The document itself is built and
// serialised elsewhere (compact_json.h); these steps only move bytes and report codes.
namespace ringcalib {

// The extrinsic job's load: opens `path` into `in` (binary), reads the whole file, parses
// it into `document` and checks "version". Returns kSuccess, kCannotOpen, kBadParameterFile
// (after printing "read version failed : " and the library's text when an exception was
// raised) or kWrongVersion. On success `in` stays open.
int loadParameterDocument(std::ifstream& in, const std::string& path, nlohmann::json& document);

// Whether the parameter file can be written at `path`, checked without creating or
// truncating anything, so that a job that fails later leaves an earlier file intact.
// Returns kSuccess or kCannotOpen.
int checkParameterFileWritable(const std::string& path);

// Replaces the file at `path` by `text` so that it holds either its earlier content or
// all of `text`, never a part: the bytes go to a temporary file in the same folder, which
// is flushed to disk and renamed over the target. A symbolic link is followed and the file
// it names is replaced; a device or pipe (such as /dev/full) is written directly. Any
// failed write, flush, close or rename returns kCannotOpen and leaves the target as it was.
int writeFileAtomically(const std::string& path, const std::string& text);

}  // namespace ringcalib
