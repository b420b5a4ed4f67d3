#include "core/input_param.h"

#include <iostream>

#include "core/version.h"

InputParam::InputParam(int argc, char** argv)
    : argc_(argc),
      argv_(argv),
      cmd_("Depth map calibration command line", ' ', ringcalib::kVersion, true),
      what_("w", "what", "what function to run (intrinsic/extrinsic/all/check: check tests a finished calibration against fresh stills without changing the file, and ends with 10 when a pair moved)", true, "intrinsic",
            "string"),
      video_("v", "video", "video input directory paths", false, "string"),
      image_("i", "image", "image input directory paths", false, "string"),
      file_("f", "file", "file to store camera params", true, "", "string"),
      report_("r", "report",
              "folder to write a calibration report into (index.html, report.json, pictures)",
              false, "", "string"),
      ringAdjust_("", "ring-adjust",
                  "extrinsic and all jobs: after the pairs, adjust the ring's camera poses "
                  "together and write the adjusted poses",
                  false),
      boardText_("b", "board",
                 "intrinsic and all jobs: the checkerboard's inner corners, columns x rows "
                 "(default 9x12); light squares on a dark margin or dark squares on white "
                 "paper are both found",
                 false, "9x12", "cols x rows"),
      camerasText_("n", "cameras",
                   "the number of cameras in the ring, 3 to 8 (default 6): intrinsic, extrinsic "
                   "and all read origin_0 ... origin_<N-1>; check takes the number from the file",
                   false, "6", "N"),
      jobs_{{"intrinsic", INTRINSIC}, {"extrinsic", EXTRINSIC}, {"all", ALL}, {"check", CHECK}} {}

int InputParam::Parse() {
  try {
    cmd_.add(what_);
    cmd_.add(video_);
    cmd_.add(image_);
    cmd_.add(file_);
    cmd_.add(report_);
    cmd_.add(ringAdjust_);
    cmd_.add(boardText_);
    cmd_.add(camerasText_);
    cmd_.parse(argc_, argv_);
    if (!parseBoard(boardText_.getValue(), board_)) {
      throw TCLAP::ArgParseException(
          "expected <cols>x<rows>, each 3 to 100, got \"" + boardText_.getValue() + "\"",
          boardText_.longID());
    }
    if (!parseCameras(camerasText_.getValue(), cameras_)) {
      throw TCLAP::ArgParseException("expected a whole number from " + std::to_string(kMinCameras) + " to " +
                                         std::to_string(kMaxCameras) + ", got \"" + camerasText_.getValue() + "\"",
                                     camerasText_.longID());
    }
  } catch (const TCLAP::ArgException& e) {
    std::cout << "ERROR:" << e.error() << " " << e.argId() << std::endl;
    return 1;
  }
  return 0;
}

bool InputParam::parseBoard(const std::string& text, BoardCorners& board) {
  constexpr int kMinCorners = 3;
  constexpr int kMaxCorners = 100;
  const std::size_t x = text.find('x');
  if (x == std::string::npos) return false;
  const auto count = [](const std::string& digits, int& value) {
    if (digits.empty() || digits.size() > 3) return false;
    value = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    return value >= kMinCorners && value <= kMaxCorners;
  };
  BoardCorners parsed;
  if (!count(text.substr(0, x), parsed.columns) || !count(text.substr(x + 1), parsed.rows)) {
    return false;
  }
  board = parsed;
  return true;
}

bool InputParam::parseCameras(const std::string& text, int& cameras) {
  if (text.size() != 1 || text[0] < '0' + kMinCameras || text[0] > '0' + kMaxCameras) return false;
  cameras = text[0] - '0';
  return true;
}

InputParam::CalibrationType InputParam::Type() {
  const auto job = jobs_.find(what_.getValue());
  return job == jobs_.end() ? static_cast<CalibrationType>(0) : job->second;
}
