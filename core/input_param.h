#pragma once

#include <map>
#include <string>
#include <vector>

#include <tclap/CmdLine.h>

// The command line: --what (intrinsic, extrinsic, all or check), --video (repeatable), --image (repeatable), --file, the
// optional --report folder, --ring-adjust, plus the parser's own --help, --version and --.
class InputParam {
 public:
  enum CalibrationType { INTRINSIC = 1, EXTRINSIC = 2, ALL = 3, CHECK = 4 };

  InputParam(int argc, char** argv);
  ~InputParam() = default;
  InputParam(const InputParam&) = delete;
  InputParam& operator=(const InputParam&) = delete;

  // Registers the arguments and parses the command line once. Returns 0, or 1 after
  // printing "ERROR:..." when an argument exception reaches it; the parser itself reports
  // ordinary parse errors and ends the process.
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
  std::map<std::string, CalibrationType> jobs_;
};
