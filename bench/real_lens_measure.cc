// How the intrinsic job's lens model holds up to the edge of a real lens's field, against
// OpenCV's fisheye solver trained on every corner (the peer): a plain program, not a timed
// benchmark.
//
// For one folder of board photographs (one camera) it detects the board as the job does
// (BoardDetector::examineSample: accepted, or found and rejected by its tests) and as a user of
// the library would (findChessboardCorners, cornerSubPix). Then it holds out one photograph of
// every `folds` in turn and prints, for the job's solve, for variants of it and for the peer,
// the held-out RMS on the library's corners of the photographs held out, per fold and per band
// of angle off the axis (under the peer's model of every photograph), and how far each fold's
// model holds (rig/lens_field.h). A training set shorter than the job's 20 views is repeated,
// as a recording shows a board in several samples; a repeated view moves no solve's K and D.
//
// Usage: real_lens_measure <folder> <inner corners WxH> [extension, default png] [folds, default 5]
#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "calibration/intrinsic/board_detection.h"
#include "calibration/intrinsic/corner_selection.h"
#include "calibration/intrinsic/field_solve.h"
#include "calibration/intrinsic/fisheye_solve.h"
#include "calibration/intrinsic/second_look.h"
#include "report/field_coverage.h"
#include "rig/lens_field.h"
#include "tools/held_out_error.h"

namespace {

using namespace ringcalib;
using Views = std::vector<std::vector<cv::Point2f>>;
using Objects = std::vector<std::vector<cv::Point3f>>;

struct Photo {
  std::string name;
  intrinsic::SampleOutcome outcome = intrinsic::SampleOutcome::kNotSeen;
  std::vector<cv::Point2f> job;   // the job's corners, accepted or rejected
  // The job's second look (at full size where the reduced copy finds no board), for a camera
  // its first look leaves without a model.
  intrinsic::SampleOutcome againOutcome = intrinsic::SampleOutcome::kNotSeen;
  std::vector<cv::Point2f> again;
  std::vector<cv::Point2f> peer;  // the library's corners, empty when it found none
};

const char* outcomeName(intrinsic::SampleOutcome outcome) {
  switch (outcome) {
    case intrinsic::SampleOutcome::kNotSeen: return "not seen by the cheap test";
    case intrinsic::SampleOutcome::kNotFound: return "not found by the search";
    case intrinsic::SampleOutcome::kRejected: return "found, rejected by the contrast or straightness test";
    case intrinsic::SampleOutcome::kAccepted: return "accepted";
  }
  return "";
}

struct Model {
  bool ok = false;
  cv::Matx33d K;
  cv::Vec4d D;
  std::string note;  // why it failed, or the terms it holds
};

// The views repeated until there are the job's 20.
Views repeated(const Views& views) {
  Views out;
  while (!views.empty() && out.size() < static_cast<std::size_t>(intrinsic::kMinViews)) {
    out.insert(out.end(), views.begin(), views.end());
  }
  return out;
}

Model fromSolution(const Result<intrinsic::FisheyeSolution>& solved, const std::string& output) {
  Model model;
  model.ok = solved.ok();
  if (model.ok) {
    model.K = solved.value().K;
    model.D = solved.value().D;
  } else {
    model.note = output;
  }
  return model;
}

// A fit of one training set: the photographs it may use.
using Fit = std::function<Model(const std::vector<const Photo*>& training, cv::Size frame, cv::Size board)>;

Views jobViews(const std::vector<const Photo*>& training, intrinsic::SampleOutcome kind, bool secondLook = false) {
  Views views;
  for (const Photo* photo : training) {
    if ((secondLook ? photo->againOutcome : photo->outcome) == kind) views.push_back(secondLook ? photo->again : photo->job);
  }
  return views;
}

// The job's views of one look, accepted and rejected repeated alike, as the recording repeats
// every board.
intrinsic::CameraViews lookViews(const std::vector<const Photo*>& training, bool secondLook) {
  const Views accepted = jobViews(training, intrinsic::SampleOutcome::kAccepted, secondLook);
  const Views rejected = jobViews(training, intrinsic::SampleOutcome::kRejected, secondLook);
  const std::size_t found = accepted.size() + rejected.size();
  const std::size_t times = found == 0 ? 1 : (intrinsic::kMinViews + found - 1) / found;
  intrinsic::CameraViews views;
  for (std::size_t k = 0; k < times; ++k) {
    views.accepted.insert(views.accepted.end(), accepted.begin(), accepted.end());
    views.rejected.insert(views.rejected.end(), rejected.begin(), rejected.end());
  }
  return views;
}

// The first look's views solved; where they give no model, the second look's, from shorter
// starts where the library's fails (intrinsic::solveLookingAgain).
Fit theJob() {
  return [](const std::vector<const Photo*>& training, cv::Size frame, cv::Size board) {
    std::ostringstream format;
    intrinsic::CameraSolve solve = intrinsic::solveCamera(0, lookViews(training, false), frame, board, format, false);
    if (!solve.solution) {
      solve = intrinsic::solveFromShorterStarts(0, lookViews(training, true), frame, board, format, false);
    }
    Model model;
    model.ok = solve.code == 0 && !solve.tooFewViews;
    if (model.ok) {
      model.K = solve.solution->K;
      model.D = solve.solution->D;
    }
    model.note = "code " + std::to_string(solve.tooFewViews ? 3 : solve.code) + ": " + solve.output;
    return model;
  };
}

Fit centralCircle() {
  return [](const std::vector<const Photo*>& training, cv::Size frame, cv::Size board) {
    Views views = repeated(jobViews(training, intrinsic::SampleOutcome::kAccepted));
    Objects objects(views.size(), intrinsic::boardModel(board));
    intrinsic::selectCorners(views, objects, frame.width, frame.height);
    std::ostringstream out;
    const Result<intrinsic::FisheyeSolution> solved = intrinsic::solveFisheye(views, objects, 0, frame, out);
    return fromSolution(solved, out.str());
  };
}

Fit everyBoardFound(intrinsic::DistortionTerms terms) {
  return [terms](const std::vector<const Photo*>& training, cv::Size frame, cv::Size board) {
    Views found = jobViews(training, intrinsic::SampleOutcome::kAccepted);
    const Views rejected = jobViews(training, intrinsic::SampleOutcome::kRejected);
    found.insert(found.end(), rejected.begin(), rejected.end());
    const Views views = repeated(found);
    std::ostringstream out;
    const Result<intrinsic::FisheyeSolution> solved = intrinsic::solveFisheye(
        views, Objects(views.size(), intrinsic::boardModel(board)), 0, frame, out, nullptr, {terms, std::nullopt});
    return fromSolution(solved, out.str());
  };
}

// The library on its own corners: cv::fisheye::CALIB_RECOMPUTE_EXTRINSIC | CALIB_FIX_SKEW.
// Where it fails from its own start (a circular fisheye's boards: ill-conditioned), it starts
// from the job's shorter focal lengths (intrinsic::solveStarts), as a user of the library
// would have to.
Model peerModel(const Views& views, cv::Size frame, cv::Size board) {
  Model model;
  for (const std::optional<cv::Matx33d>& start : intrinsic::solveStarts(frame)) {
    cv::Matx33d K = start.value_or(cv::Matx33d::eye());
    cv::Vec4d D;
    std::vector<cv::Vec3d> rotations, translations;
    const int guess = start ? cv::fisheye::CALIB_USE_INTRINSIC_GUESS : 0;
    try {
      cv::fisheye::calibrate(Objects(views.size(), intrinsic::boardModel(board)), views, frame, K, D, rotations,
                             translations, cv::fisheye::CALIB_RECOMPUTE_EXTRINSIC | cv::fisheye::CALIB_FIX_SKEW | guess,
                             cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, DBL_EPSILON));
    } catch (const cv::Exception& error) {
      model.note = error.what();
      continue;
    }
    model.ok = true;
    model.K = K;
    model.D = D;
    return model;
  }
  return model;
}

Fit peer() {
  return [](const std::vector<const Photo*>& training, cv::Size frame, cv::Size board) {
    Views views;
    for (const Photo* photo : training) {
      if (!photo->peer.empty()) views.push_back(photo->peer);
    }
    return peerModel(views, frame, board);
  };
}

std::vector<Photo> readPhotos(const std::string& folder, const std::string& extension, cv::Size board,
                              cv::Size& frame) {
  std::vector<cv::String> names;
  cv::glob(folder + "/*." + extension, names, false);
  std::sort(names.begin(), names.end());
  std::vector<Photo> photos;
  intrinsic::BoardDetector detector, secondDetector;
  std::optional<intrinsic::BoardPolarity> polarity;
  for (const cv::String& name : names) {
    Photo photo;
    photo.name = name.substr(name.rfind('/') + 1);
    const cv::Mat colour = cv::imread(name, cv::IMREAD_COLOR);
    frame = colour.size();
    photo.outcome = detector.examineSample(colour, board, photo.job);
    photo.againOutcome = secondDetector.lookAgain(colour, board, polarity, photo.again);
    cv::Mat grey;
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    if (cv::findChessboardCorners(grey, board, photo.peer, cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE)) {
      cv::cornerSubPix(grey, photo.peer, cv::Size(5, 5), cv::Size(-1, -1),
                       cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 0.01));
    } else {
      photo.peer.clear();
    }
    std::printf("%s: job %s, library %s\n", photo.name.c_str(), outcomeName(photo.outcome),
                photo.peer.empty() ? "finds none" : "finds the board");
    photos.push_back(photo);
  }
  return photos;
}

// How far a model holds over the frame, and how far the training corners reach under it.
std::string fieldText(const Model& model, cv::Size frame) {
  const rig::LensField field = rig::lensField({model.K, model.D, frame});
  std::ostringstream text;
  if (field.folds()) {
    text << "folds at " << field.foldDeg;
  } else {
    text << "holds to " << field.edgeDeg;
  }
  text << ", needs " << field.neededDeg << " deg";
  return text.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: real_lens_measure <folder> <WxH> [extension] [folds]\n";
    return 1;
  }
  cv::Size board;
  if (std::sscanf(argv[2], "%dx%d", &board.width, &board.height) != 2) return 1;
  const std::string extension = argc > 3 ? argv[3] : "png";
  const int folds = argc > 4 ? std::atoi(argv[4]) : 5;
  cv::Size frame;
  const std::vector<Photo> photos = readPhotos(argv[1], extension, board, frame);
  if (photos.empty() || folds < 2) return 1;
  const std::vector<cv::Point3f> model = intrinsic::boardModel(board);

  // The angles off the axis under the peer's model of every photograph.
  std::vector<const Photo*> all;
  for (const Photo& photo : photos) all.push_back(&photo);
  const Model reference = peer()(all, frame, board);
  if (!reference.ok) {
    std::cerr << "the peer fails on every photograph: " << reference.note << std::endl;
    return 1;
  }
  const rig::FisheyeLens referenceLens(reference.K, reference.D);
  std::cout << "reference K " << reference.K << " D " << reference.D << ", " << fieldText(reference, frame)
            << std::endl;
  int cornersPerBand[report::kAngleBands] = {};
  for (const Photo& photo : photos) {
    for (const cv::Point2f& corner : photo.peer) ++cornersPerBand[report::angleBand(rig::angleOffAxisDeg(referenceLens, corner))];
  }
  std::printf("library corners per band:");
  for (int b = 0; b < report::kAngleBands; ++b) {
    std::printf("  %g-%g: %d", report::kAngleBandEdgesDeg[b], report::kAngleBandEdgesDeg[b + 1], cornersPerBand[b]);
  }
  std::printf("\n");

  const std::pair<const char*, Fit> variants[] = {
      {"the job (solveCamera)", theJob()},
      {"accepted views, central circle, four terms (the job before)", centralCircle()},
      {"every board found, four terms", everyBoardFound(intrinsic::DistortionTerms::kFour)},
      {"every board found, k4 held", everyBoardFound(intrinsic::DistortionTerms::kThree)},
      {"every board found, k3 and k4 held", everyBoardFound(intrinsic::DistortionTerms::kTwo)},
      {"PEER: library corners, every corner", peer()},
  };
  for (const auto& [name, fit] : variants) {
    std::vector<double> squared;
    std::vector<double> perBand[report::kAngleBands];
    std::printf("\n%s\n", name);
    for (int fold = 0; fold < folds; ++fold) {
      std::vector<const Photo*> training;
      std::vector<double> foldSquared;
      for (std::size_t i = 0; i < photos.size(); ++i) {
        if (static_cast<int>(i % folds) != fold) training.push_back(&photos[i]);
      }
      const Model fitted = fit(training, frame, board);
      if (!fitted.ok) {
        std::printf("  fold %d failed: %s", fold, fitted.note.c_str());
        continue;
      }
      for (std::size_t i = fold; i < photos.size(); i += folds) {
        if (photos[i].peer.empty()) continue;
        const std::vector<double> errors = synth::heldOutSquaredErrors(model, photos[i].peer, fitted.K, fitted.D);
        for (std::size_t j = 0; j < errors.size(); ++j) {
          perBand[report::angleBand(rig::angleOffAxisDeg(referenceLens, photos[i].peer[j]))].push_back(errors[j]);
        }
        foldSquared.insert(foldSquared.end(), errors.begin(), errors.end());
      }
      squared.insert(squared.end(), foldSquared.begin(), foldSquared.end());
      std::cout << "  fold " << fold << ": held-out RMS " << synth::rootMeanSquare(foldSquared) << " px, D "
                << fitted.D << ", " << fieldText(fitted, frame) << std::endl;
    }
    std::printf("  held-out RMS %.4f px over %zu corners; per band:", synth::rootMeanSquare(squared), squared.size());
    for (int b = 0; b < report::kAngleBands; ++b) {
      if (perBand[b].empty()) continue;
      std::printf("  %g-%g: %.3f (%zu)", report::kAngleBandEdgesDeg[b], report::kAngleBandEdgesDeg[b + 1],
                  synth::rootMeanSquare(perBand[b]), perBand[b].size());
    }
    std::printf("\n");
  }
  return 0;
}
