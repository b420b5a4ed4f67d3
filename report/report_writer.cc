#include "report/report_writer.h"

#include <filesystem>
#include <fstream>

#include <opencv2/imgcodecs.hpp>

#include "report/assessment.h"
#include "report/panorama.h"
#include "report/rectified_pair.h"
#include "report/report_figures.h"
#include "report/report_files.h"
#include "report/report_json.h"
#include "report/report_page.h"

namespace ringcalib::report {

namespace {

namespace fs = std::filesystem;

// Writes `image` under `name` in `folder`, in the format of the name's extension; returns
// the name, or an empty name when there is nothing to draw or the file could not be written
// (the first such failure is kept in `error`).
std::string writePicture(const fs::path& folder, const std::string& name, const cv::Mat& image,
                         std::string& error) {
  if (image.empty()) return "";
  const fs::path path = folder / name;
  bool written = false;
  try {
    written = cv::imwrite(path.string(), image);
  } catch (const cv::Exception&) {
    written = false;
  }
  if (written) return name;
  if (error.empty()) error = "cannot write report picture " + path.string();
  return "";
}

bool writeText(const fs::path& path, const std::string& text, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (out) return true;
  error = "cannot write report file " + path.string();
  return false;
}

// The camera's still and lens, when the extrinsic job recorded them.
const CameraReport* withStill(const CalibrationReport& report, int camera) {
  for (const CameraReport& record : report.cameras) {
    if (record.camera == camera && !record.still.empty()) return &record;
  }
  return nullptr;
}

StillCamera stillCamera(const CameraReport& camera) { return {camera.still, camera.stillLens}; }

// The panorama needs the stills of all the ring's cameras and an orientation for every
// camera: the adjusted ones, or the pair rotations composed.
void writePanorama(const CalibrationReport& report, const fs::path& folder, PanoramaFigure& figure,
                   std::string& error) {
  std::vector<StillCamera> cameras;
  for (int n = 0; n < report.ringCameras; ++n) {
    const CameraReport* camera = withStill(report, n);
    if (camera == nullptr) return;
    cameras.push_back(stillCamera(*camera));
  }
  // The ring adjustment's poses close the ring by construction; the pairwise ones are
  // composed with their closure spread evenly over them.
  std::optional<rig::RingRotations> rotations = pairRotationsOf(report, RingPoses::kAdjusted);
  if (!rotations) rotations = pairRotationsOf(report);
  if (!rotations) return;
  const rig::RingRotations orientations = rig::composeRing(*rotations);
  const Panorama panorama = stitchPanorama(cameras, orientations, report.poseFrame);
  figure.file = writePicture(folder, "panorama.jpg", panorama.image, error);
  figure.outlines = panorama.outlines;
  figure.axes = panorama.axes;
}

std::string writeRectifiedPair(const CalibrationReport& report, const PairReport& pair,
                               const fs::path& folder, std::string& error) {
  const CameraReport* first = withStill(report, pair.first);
  const CameraReport* second = withStill(report, pair.second);
  if (!pair.solved || first == nullptr || second == nullptr) return "";
  return writePicture(folder, "pair_" + std::to_string(pair.pair) + "_rectified.jpg",
                      rectifyPair(stillCamera(*first), stillCamera(*second), poseToRectify(pair), report.poseFrame),
                      error);
}

FigureFiles writePictures(const CalibrationReport& report, const fs::path& folder,
                          std::string& error) {
  FigureFiles files;
  writePanorama(report, folder, files.panorama, error);
  for (const CameraReport& camera : report.cameras) {
    const std::string stem = "camera_" + std::to_string(camera.camera);
    CameraFigures figures;
    if (camera.intrinsic && !camera.intrinsic->corners.empty()) {
      figures.coverage = writePicture(folder, stem + "_coverage.png",
                                      drawCoverage(*camera.intrinsic, camera.camera), error);
    }
    if (camera.intrinsic && camera.intrinsic->field && !camera.intrinsic->corners.empty()) {
      figures.field = writePicture(folder, stem + "_field.png",
                                   drawField(*camera.intrinsic, {camera.K, camera.D, camera.intrinsic->frameSize},
                                             camera.camera),
                                   error);
    }
    figures.preview = writePicture(folder, stem + "_preview.png", camera.preview, error);
    files.cameras.push_back(figures);
  }
  for (const PairReport& pair : report.pairs) {
    const std::string stem = "pair_" + std::to_string(pair.pair);
    PairFigures figures;
    if (!pair.firstStrip.empty() && !pair.secondStrip.empty()) {
      figures.matches = writePicture(folder, stem + "_matches.png", drawPairMatches(pair), error);
    }
    if (!pair.finalErrors.empty()) {
      figures.errors = writePicture(folder, stem + "_errors.png",
                                    drawErrorHistogram(pair.finalErrors, pair.pair), error);
    }
    figures.rectified = writeRectifiedPair(report, pair, folder, error);
    files.pairs.push_back(figures);
  }
  return files;
}

}  // namespace

bool writeReport(const CalibrationReport& report, const std::string& folder,
                 std::string& error) {
  error.clear();
  const fs::path root(folder);
  std::error_code failure;
  fs::create_directories(root, failure);
  if (failure || !fs::is_directory(root)) {
    error = "cannot create report folder " + folder +
            (failure ? ": " + failure.message() : ": not a folder");
    return false;
  }
  const Assessment assessment = assess(report);
  const FigureFiles figures = writePictures(report, root, error);
  const bool picturesWritten = error.empty();
  const bool jsonWritten = writeText(
      root / kJsonFile, reportToJson(report, assessment, figures).dump(2) + "\n", error);
  const bool pageWritten =
      jsonWritten && writeText(root / kPageFile, renderPage(report, assessment, figures), error);
  return picturesWritten && pageWritten;
}

}  // namespace ringcalib::report
