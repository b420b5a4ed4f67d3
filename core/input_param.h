#pragma once

#include <map>
#include <string>
#include <vector>

#include <tclap/CmdLine.h>

// The command line: --what (intrinsic, extrinsic, all or check), --video (repeatable), --image (repeatable), --file, the
// optional --report folder, --ring-adjust, --board, --cameras, plus the parser's own --help, --version and --.
class InputParam {
 public:
  // The checkerboard's inner corners: columns per row, rows (9 x 12 unless --board says).
  struct BoardCorners {
    int columns = 9;
    int rows = 12;
  };

  enum CalibrationType { INTRINSIC = 1, EXTRINSIC = 2, ALL = 3, CHECK = 4 };

  InputParam(int argc, char** argv);
  ~InputParam() = default;
  InputParam(const InputParam&) = delete;
  InputParam& operator=(const InputParam&) = delete;

  // Registers the arguments and parses the command line once. Returns 0, or 1 after
  // printing "ERROR:..." when an argument exception reaches it (a malformed --board value
  // among them); the parser itself reports ordinary parse errors and ends the process.
  int Parse();

  // The job named by --what (exact, case-sensitive), or 0 for a word that names none.
  CalibrationType Type();

  const std::vector<std::string>& videoPaths() const { return video_.getValue(); }
  const std::vector<std::string>& imagePaths() const { return image_.getValue(); }
  const std::string& file() const { return file_.getValue(); }
  // The folder to write the calibration report into; empty when none was asked for.
  const std::string& reportFolder() const { return report_.getValue(); }
  // --ring-adjust: the extrinsic job adjusts the six poses together after the pairs.
  bool ringAdjust() const { return ringAdjust_.getValue(); }
  // --board: the inner corners the intrinsic job looks for.
  BoardCorners board() const { return board_; }
  bool boardGiven() const { return boardText_.isSet(); }
  // --cameras: the number of cameras in the ring (6 unless given).
  int cameras() const { return cameras_; }
  bool camerasGiven() const { return camerasText_.isSet(); }

  // "<cols>x<rows>", each a whole number from 3 to 100 in plain decimal digits (the corner
  // search needs three corners each way); false for anything else.
  static bool parseBoard(const std::string& text, BoardCorners& board);

  // A whole number of cameras from kMinCameras to kMaxCameras in plain decimal digits; false
  // for anything else.
  static bool parseCameras(const std::string& text, int& cameras);
  static constexpr int kMinCameras = 3;
  static constexpr int kMaxCameras = 8;

 private:
  int argc_;
  char** argv_;
  TCLAP::CmdLine cmd_;
  TCLAP::ValueArg<std::string> what_;
  TCLAP::MultiArg<std::string> video_;
  TCLAP::MultiArg<std::string> image_;
  TCLAP::ValueArg<std::string> file_;
  TCLAP::ValueArg<std::string> report_;
  TCLAP::SwitchArg ringAdjust_;
  TCLAP::ValueArg<std::string> boardText_;
  BoardCorners board_;
  TCLAP::ValueArg<std::string> camerasText_;
  int cameras_ = 6;
  std::map<std::string, CalibrationType> jobs_;
};
