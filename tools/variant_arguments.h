#pragma once

#include <optional>
#include <string>

#include "tools/camera_turn.h"
#include "tools/ring_variation.h"

namespace ringcalib::synth {

// "<min>[,<max>]": one number or two separated by a comma. Nothing when the text is anything
// else (whether min ≤ max is left to variantProblem).
std::optional<ValueRange> parseValueRange(const std::string& text);

// "<camera>:<axis>:<degrees>" with camera 0 to 7 and axis x, y or z, for example "2:y:0.1".
// Nothing when the text is anything else (whether the ring has that camera is left to
// variantProblem).
std::optional<CameraTurn> parseCameraTurn(const std::string& text);

}  // namespace ringcalib::synth
