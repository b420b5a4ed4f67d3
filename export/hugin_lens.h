#pragma once

#include <opencv2/core.hpp>

#include "rig/fisheye_lens.h"

// The camera's lens as Hugin (libpano13) models it, for a project's image line.
//
// Hugin's full-frame fisheye (image projection f3) is equidistant: a ray at angle theta off
// the axis lies at r = f theta from the lens centre, f = width / hfov (radians). Its radial
// polynomial moves that point to r (a s³ + b s² + c s + 1 - a - b - c), s = r / (half the
// smaller side of the image), and its centre shift puts the lens centre at
// (width / 2 - 0.5 + d, height / 2 - 0.5 + e), pixel centres at whole numbers. Hugin has one
// focal length, so fx and fy become one, and the rest of their difference is fit error.
namespace ringcalib::exporting {

struct HuginLens {
  double hfovDeg = 0.0;
  double a = 0.0, b = 0.0, c = 0.0;
  double d = 0.0, e = 0.0;
};

// Hugin's pixel of the sensor-frame direction `ray`.
cv::Point2d huginPixel(const HuginLens& lens, cv::Size still, const cv::Vec3d& ray);

struct HuginFit {
  HuginLens lens;
  double largestErrorPx = 0.0;  // over the pixels of the fit
};

// Least squares over a grid of the still's pixels that look less than 90° off the axis (the
// directions a stitch of the ring takes from this camera: beyond, its neighbours look more
// directly, and the lens' far edge would pull the fit where no seam lies) of the
// distance between `camera`'s pixel (in the still's pixels) and Hugin's, linear in
// f (1 - a - b - c), f² c / R, f³ b / R², f⁴ a / R³, d and e; f then follows from the first.
// Throws std::runtime_error when fewer than 100 of the grid's pixels look ahead (a still of
// another camera or size).
HuginFit fitHuginLens(const rig::FisheyeCamera& camera, cv::Size still);

}  // namespace ringcalib::exporting
