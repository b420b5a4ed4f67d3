#pragma once

#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "rig/fisheye_lens.h"
#include "rig/pair_pose.h"
#include "rig/ring.h"

// The camera parameter file's document: the one place that knows its members (their names
// and layout stand in parameter_document.cc). Each camera has its intrinsics, in pixels of
// the video frames, and the pose of the pair it starts (rig/ring.h). Members the tool does not
// know are kept and written back as read; the bytes are those of rig/compact_json.h.
namespace ringcalib::rig {

class ParameterDocument {
 public:
  ParameterDocument() = default;

  // The key of camera n: "origin_<n>".
  static std::string cameraKey(int n);

  // The extrinsic job's load: opens `path` into `in` (binary), reads the whole file, parses
  // it and checks that its version is 1. Returns kSuccess, kCannotOpen, kBadParameterFile (after printing
  // "read version failed : " and the library's text when an exception was raised) or
  // kWrongVersion. On success `in` stays open.
  int load(std::ifstream& in, const std::string& path);

  // Version 1, as the intrinsic job starts its document.
  void setVersion();

  // Camera n's K, D (K(2, 2) = 1) and frame size. Missing members read as null, as the library's mutable
  // access gives them, so a missing or non-number value raises the library's type error.
  FisheyeCamera camera(int n);

  // The size of camera n's video frames: its "frame_size" member, or 3200 x 2400 without
  // one. Raises std::runtime_error when the member is not two positive whole numbers.
  cv::Size frameSize(int n) const;

  // Camera n's K, D and frame size, or pair n's pose: false when a member is absent or not
  // a number.
  bool findCamera(int n, FisheyeCamera& camera) const;
  bool findPose(int n, PairPose& pose) const;

  // The number of members "origin_<n>" (n in plain decimal), whatever they hold.
  int cameraCount() const;

  // The frames of the file's poses (rig/ring.h): the prepared frames when no "pose_frame"
  // says otherwise, the sensor frames for "camera"; false for anything else.
  bool findPoseFrame(PoseFrame& frame) const;
  // "pose_frame": "camera" for kCamera; no member for kPrepared, so a standard rig's file keeps
  // its bytes.
  void setPoseFrame(PoseFrame frame);

  // Enter camera n's K, D and frame size (its member only when not 3200 x 2400), or pair n's pose (replacing the pose's member whole). They raise the library's exceptions when a value cannot be stored.
  void setCamera(int n, const FisheyeCamera& camera);
  void setPose(int n, const PairPose& pose);

  // The compact bytes of the whole document, and the file written with them
  // (writeWholeFile in rig/file_writer.h; returns a result code).
  std::string text() const;
  int write(const std::string& path) const;

  nlohmann::json& content() { return document_; }
  const nlohmann::json& content() const { return document_; }

 private:
  nlohmann::json document_;
};

}  // namespace ringcalib::rig
