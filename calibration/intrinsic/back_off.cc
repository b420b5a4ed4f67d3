#include "calibration/intrinsic/back_off.h"

namespace ringcalib::back_off {

int& processCounter() {
  static int badCnt = 0;
  return badCnt;
}

}  // namespace ringcalib::back_off
