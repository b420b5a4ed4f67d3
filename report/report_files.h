#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

// The files of a report folder. Picture names are relative to the folder; an empty name
// means the picture was not drawn (nothing to show) or could not be written, and then
// neither report.json nor the page refers to it.
namespace ringcalib::report {

inline constexpr char kJsonFile[] = "report.json";
inline constexpr char kPageFile[] = "index.html";

struct CameraFigures {
  std::string coverage;
  std::string field;
  std::string preview;
};

struct PairFigures {
  std::string matches;
  std::string errors;
  std::string rectified;
};

// The panorama, with where each camera contributes and where its axis lies.
struct PanoramaFigure {
  std::string file;
  std::vector<std::vector<std::vector<cv::Point>>> outlines;  // per camera of the ring
  std::vector<cv::Point2d> axes;
};

// Index-aligned with CalibrationReport::cameras and ::pairs.
struct FigureFiles {
  std::vector<CameraFigures> cameras;
  std::vector<PairFigures> pairs;
  PanoramaFigure panorama;
};

}  // namespace ringcalib::report
