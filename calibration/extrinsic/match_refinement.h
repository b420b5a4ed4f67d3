#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace ringcalib::extrinsic {

// Each flow sample measured again on its own, for the ring adjustment. The dense flow is
// smooth by design: on plain surfaces it is interpolated from around, and on a repeated
// pattern it can settle a period away along the baseline, where the epipolar test cannot see
// it. Both errors are shared by whole regions, so no robust loss averages them out; measured
// on photo-textured rooms they, not the noise, set the adjusted poses' error.
//
// Per sample: Lucas-Kanade on a 15 x 15 patch from the flow's landing point, on patches
// normalised to zero mean and unit variance (so that vignetting and unequal gains do not bias
// it), the second view's patch stretched and sheared as the flow around the sample says
// (a surface seen obliquely); kept when it converges within 1 px of the flow, the patches
// correlate (ZNCC >= 0.8), the same measurement from the second view back lands within 0.2 px
// of the start, and no other correlation peak along the baseline (24 px either way) comes
// within 0.8 of the best.
struct RefinedSamples {
  std::vector<cv::Point2f> warped2;  // the re-measured landing points in the second warped view
  std::vector<unsigned char> kept;   // 1 where the sample passed every test
};

// `first` and `second` are the pair's 8-bit warped views, of which only the columns
// `strip` are read; `from` and `to` the flow samples. Samples whose `use` is 0 are not
// measured (kept 0).
RefinedSamples refineSamples(const cv::Mat& first, const cv::Mat& second, const cv::Range& strip,
                             const std::vector<cv::Point2f>& from,
                             const std::vector<cv::Point2f>& to,
                             const std::vector<unsigned char>& use);

}  // namespace ringcalib::extrinsic
