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

const char* jobName(Job job) {
  switch (job) {
    case Job::kIntrinsic: return "intrinsic";
    case Job::kExtrinsic: return "extrinsic";
    case Job::kCheck: return "check";
  }
  return "check";
}

bool testsTheRing(Job job) { return job == Job::kExtrinsic || job == Job::kCheck; }

CameraReport& CalibrationReport::camera(int camera) {
  return findOrAdd(cameras, &CameraReport::camera, camera);
}

PairReport& CalibrationReport::pair(int pair) {
  PairReport& record = findOrAdd(pairs, &PairReport::pair, pair);
  record.first = pair;
  record.second = rig::nextCamera(pair, ringCameras);
  return record;
}

rig::PairPose poseToRectify(const PairReport& pair) {
  if (pair.check) return pair.check->stored;
  if (pair.adjusted) return {pair.adjusted->R, pair.adjusted->t};
  return {pair.R, pair.t};
}

void recordIntrinsicsInUse(CameraReport& camera, const cv::Matx33d& K, const cv::Vec4d& D) {
  if (camera.hasIntrinsics) return;
  camera.hasIntrinsics = true;
  camera.K = K;
  camera.D = D;
}

void recordPose(PairReport& pair, double medianError, const rig::PairPose& pose,
                const cv::Vec3d& anglesDeg, std::vector<double> finalErrors) {
  pair.solved = true;
  pair.medianError = medianError;
  pair.R = pose.R;
  pair.t = pose.t;
  pair.anglesDeg = anglesDeg;
  pair.finalErrors = std::move(finalErrors);
}

}  // namespace ringcalib::report
