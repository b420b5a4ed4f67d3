#include "report/report_data.h"

#include <algorithm>

namespace ringcalib::report {

namespace {

// Finds the record with `index` in `records` (member `field`) or appends one, keeping the
// records sorted by index whatever order the jobs reach them in.
template <typename Record>
Record& findOrAdd(std::vector<Record>& records, int Record::*field, int index) {
  auto at = std::lower_bound(records.begin(), records.end(), index,
                             [field](const Record& r, int i) { return r.*field < i; });
  if (at != records.end() && (*at).*field == index) return *at;
  Record record;
  record.*field = index;
  return *records.insert(at, std::move(record));
}

}  // namespace

CameraReport& CalibrationReport::camera(int camera) {
  return findOrAdd(cameras, &CameraReport::camera, camera);
}

PairReport& CalibrationReport::pair(int pair) {
  PairReport& record = findOrAdd(pairs, &PairReport::pair, pair);
  record.first = pair;
  record.second = (pair + 1) % kCameraCount;
  return record;
}

}  // namespace ringcalib::report
