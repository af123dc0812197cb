#pragma once

// The inverse branches of an analytic map, checked, as the solver uses them.
#include "Formula.h"

#include <vector>

namespace veltrane::detail {

struct AnalyticBranches {
    // ψ_1 ... ψ_n, their images in order from left to right.
    std::vector<Formula> formulas;
    // What the user gave for each, as it is written back ("1/(2+x)" for a digit 2).
    std::vector<std::string> texts;
    // An interval that every branch maps into itself, holding the repeller: [0, 1] or the
    // hull the images of [0, 1] shrink to. The operator is collocated on it.
    double low = 0.0;
    double high = 1.0;
};

} // namespace veltrane::detail
