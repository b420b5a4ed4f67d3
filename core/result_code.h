#pragma once

// Result codes of the jobs; the same number is the process exit status.
namespace ringcalib {

enum ResultCode : int {
  kSuccess = 0,
  kCommandLineError = 1,    // parser error, or a --what word that names no job
  kCannotOpen = 2,          // a file or video cannot be opened (or the file cannot be written)
  kTooFewViews = 3,         // fewer than 20 checkerboard views for a camera, or boards short of the rim
  kBadParameterFile = 4,    // parameter file empty, unreadable, or a value missing / not a number
  kWrongVersion = 5,        // the parameter file's version is not 1
  kCannotStoreValue = 6,    // a value cannot be stored in the in-memory document
  kImageMissing = 7,        // a camera image is missing or empty
  kTooFewMatches = 8,       // fewer than 100 correspondences for a camera pair
  kComputationFailed = 9,   // a computation failed or produced no usable result
  kRigMoved = 10,           // the check found a pair whose stored pose no longer holds
};

}  // namespace ringcalib
