#include <iostream>
#include <memory>

#include "app/input_param.h"
#include "calibration/extrinsic_calibration.h"
#include "calibration/video_calibration.h"

int main(int argc, char** argv) {
  InputParam param(argc, argv);
  const int parsed = param.Parse();
  if (parsed != 0) return parsed;

  int code = 0;
  switch (param.Type()) {
    case InputParam::ALL: {
      auto intrinsic = std::make_shared<VideoCalibration>();
      code = intrinsic->Calibrate(param.videoPaths(), param.file(), param.Type());
      if (code != 0) return code;  // the extrinsic job needs the intrinsic file: no result line
      auto extrinsic = std::make_shared<ExtrinsicCalibration>();
      code = extrinsic->Calibrate(param.imagePaths(), param.file(), param.Type());
      break;
    }
    case InputParam::INTRINSIC: {
      auto intrinsic = std::make_shared<VideoCalibration>();
      code = intrinsic->Calibrate(param.videoPaths(), param.file(), param.Type());
      break;
    }
    case InputParam::EXTRINSIC: {
      auto extrinsic = std::make_shared<ExtrinsicCalibration>();
      code = extrinsic->Calibrate(param.imagePaths(), param.file(), param.Type());
      break;
    }
    default:
      return 1;  // a word that names no job is not reported
  }
  std::cout << "result : " << code << std::endl;
  return code;
}
