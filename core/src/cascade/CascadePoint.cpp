#include "CascadePoint.h"

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

// The split takes a position below 2^-960 of its cell as on the cell's end; a point closer to
// 0 than this is first taken down the branches at 0 to a cell in which it is farther in.
constexpr double kTinyPosition = 0x1p-900;

// The levels of the branch at 0 taken at once leave ℓ^m at least 2^200 times the position, so
// that ℓ^m (above 2^-874) keeps its 106 bits.
constexpr double kLogMargin = 200.0 * 0.6931471805599453;

// The split's truncation for points: far below the rounding of either side.
constexpr double kPointTruncation = 0x1p-64;

// a / b for positive a, b: both scaled by one power of two so that b is near 1, since the
// remainder of a quotient of numbers near the subnormal range loses its bits.
DoubleDouble quotient(DoubleDouble a, DoubleDouble b) {
    const int shift = -std::ilogb(b.hi);
    const DoubleDouble scaledA{std::ldexp(a.hi, shift), std::ldexp(a.lo, shift)};
    const DoubleDouble scaledB{std::ldexp(b.hi, shift), std::ldexp(b.lo, shift)};
    return scaledA / scaledB;
}

// A point being taken down: its distance from the left end of its cell (which is the nearer,
// as only that end can be tiny: 1 minus a double below 1 is at least 2^-53), the cell's mass,
// and the mass already found on either side.
struct Descent {
    DoubleDouble t;
    double mass = 1.0;
    double left = 0.0;
    double right = 0.0;
};

// m levels of branch 0 at once: its cell m levels down is [0, ℓ^m] with mass p^m, and the
// other branches of those levels lie right of the point, 1 - p^m of the mass.
void downFirstBranch(const CascadeBranches& b, Descent& d) {
    const DoubleDouble length = b.lengths[0];
    const double logLength = logOf(length);
    const double logT = logOf(d.t);
    const double levels =
        logLength > logT + kLogMargin ? std::floor((logT + kLogMargin) / logLength) : 1.0;
    const Shrink cell =
        levels == 1.0 ? Shrink{length, b.runs.branch(0).shortfall} : b.runs.shrink(0, levels);
    const Shrink mass = CascadeRuns::power(
        {DoubleDouble{b.weights[0]}, DoubleDouble{b.runs.branch(0).others}}, levels);
    d.right += d.mass * (mass.lost.hi + mass.lost.lo);
    d.mass *= mass.kept.hi + mass.kept.lo;
    d.t = quotient(d.t, cell.kept);
}

// One level where the point lies beyond branch 0, which is then shorter than the point's
// distance: the branch k holding it, the branches before and after it on either side.
void downOneLevel(const CascadeBranches& b, Descent& d) {
    const auto above =
        std::upper_bound(b.breaks.begin() + 1, b.breaks.end() - 1, d.t,
                         [](const DoubleDouble& t, double x) { return t < DoubleDouble{x}; });
    const auto k = static_cast<std::size_t>(above - b.breaks.begin()) - 1;
    d.left += d.mass * b.before[k];
    d.right += d.mass * b.after[k];
    d.mass *= b.weights[k];
    d.t = quotient(d.t - DoubleDouble{b.breaks[k]}, b.lengths[k]);
}

} // namespace

PointMasses splitAt(const CascadeBranches& branches, const CascadeSplit& split,
                    DoubleDouble fromLeft, DoubleDouble fromRight) {
    if (fromLeft.hi == 0.0) {
        return {0.0, 1.0};
    }
    if (fromRight.hi == 0.0) {
        return {1.0, 0.0};
    }
    const bool nearRight = fromRight < fromLeft;
    Descent d{nearRight ? fromRight : fromLeft};
    while (!nearRight && d.t.hi < kTinyPosition && d.mass > 0.0) {
        if (d.t < branches.lengths[0]) {
            downFirstBranch(branches, d);
        } else {
            downOneLevel(branches, d);
        }
    }
    BinEnd end;
    end.mass = d.mass;
    end.head = d.left;
    end.tail = d.right;
    end.fromRight = nearRight;
    end.distance = d.t;
    if (!nearRight && DoubleDouble{0.5} < d.t) {
        // A step beyond branch 0 may leave the point nearer the right end of its cell.
        end.fromRight = true;
        end.distance = DoubleDouble{1.0} - d.t;
    }
    split.settle(&end, 1, kPointTruncation);
    return {end.head, end.tail};
}

} // namespace veltrane
