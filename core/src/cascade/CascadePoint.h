#pragma once

// How Cascade::cdf and Cascade::survival split the measure at a point: the split of a bin end,
// with the whole interval as the point's own cell.
#include "CascadeSplit.h"
#include "CascadeWalk.h"
#include "DoubleDouble.h"

namespace veltrane {

// μ([0, x]) and μ([x, 1]), each a sum of positive terms.
struct PointMasses {
    double left = 0.0;
    double right = 0.0;
};

// The masses on either side of the point x in [0, 1] given by its distances from 0 and from 1
// (x and 1 - x, each exact or to 106 bits, so that a point near either end keeps its distance
// to full relative precision). The split goes on until the mass undivided is below 2^-64 of
// the smaller side, so that each side is within a few units of rounding of itself, as long as
// it is a normal double; the runs of a branch within 1/64 of the whole, taken in closed form,
// add their error of up to about 2e-13. x = 0 and x = 1 give 0 and 1 exactly.
PointMasses splitAt(const CascadeBranches& branches, const CascadeSplit& split,
                    DoubleDouble fromLeft, DoubleDouble fromRight);

} // namespace veltrane
