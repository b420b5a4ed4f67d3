#pragma once

#include <optional>
#include <ostream>

#include <opencv2/core.hpp>

#include "calibration/intrinsic/camera_records.h"

// A camera's fisheye solve, held to the edge of the field its frames show.
namespace ringcalib::intrinsic {

// Solves camera `camera`'s fisheye model from the views of a `board` in `imageSize` frames.
// The accepted views cut to the central circle come first (selectCorners, solveFisheye), and
// the job stands by their model as it always did where it rises up to the edge of the field
// and their corners reach as far off the axis as the stills are used (rig/lens_field.h).
// Otherwise it solves every corner of every board found, with fewer distortion terms where
// four fold; a model that still folds or falls short is refused with code 3 and a line naming
// the camera and the angles. The solve's lines go to the result's output, formatted like
// `format`; its report record is kept when `reporting`, with the field of a model solved
// past the central circle. The central solve starts from `start` when given, else from the
// library's own start.
CameraSolve solveCamera(int camera, CameraViews views, cv::Size imageSize, cv::Size board,
                        const std::ostream& format, bool reporting,
                        const std::optional<cv::Matx33d>& start = std::nullopt);

}  // namespace ringcalib::intrinsic
