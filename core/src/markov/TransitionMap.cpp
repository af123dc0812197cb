#include "TransitionMap.h"

#include "DoubleDouble.h"
#include "LengthExponent.h"

#include <algorithm>
#include <cmath>
#include <veltrane/errors.h>
#include <veltrane/maps.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

std::string segment(double a, double b) {
    return "[" + shortest(a) + ", " + shortest(b) + "]";
}

void checkValues(const MarkovPiece& p, const std::string& name) {
    const std::pair<double, const char*> values[] = {{p.left, "left end"},
                                                     {p.right, "right end"},
                                                     {p.imageLeft, "image's left end"},
                                                     {p.imageRight, "image's right end"}};
    for (const auto& [value, what] : values) {
        if (!(std::isfinite(value) && value >= 0.0 && value <= 1.0)) {
            throw InputError(name + ": its " + what + " " + shortest(value) +
                             " lies outside [0, 1]");
        }
    }
    if (!(p.left < p.right)) {
        throw InputError(name + " " + segment(p.left, p.right) +
                         " is empty: its right end must be greater than its left end");
    }
}

// The pieces tile [0, 1] in order, with no gap and no overlap.
void checkTiling(std::span<const MarkovPiece> pieces,
                 const std::function<std::string(std::size_t)>& name) {
    if (pieces.front().left != 0.0) {
        throw InputError(name(0) + " starts at " + shortest(pieces.front().left) +
                         ": the first piece must start at 0");
    }
    for (std::size_t k = 1; k < pieces.size(); ++k) {
        const double end = pieces[k - 1].right;
        const double start = pieces[k].left;
        if (start > end) {
            throw InputError("a gap between " + name(k - 1) + ", which ends at " + shortest(end) +
                             ", and " + name(k) + ", which starts at " + shortest(start) +
                             ": the pieces must cover [0, 1] in order");
        }
        if (start < end) {
            throw InputError(name(k) + " starts at " + shortest(start) + ", before " + name(k - 1) +
                             " ends at " + shortest(end) +
                             ": the pieces must not overlap, and must come in order");
        }
    }
    if (pieces.back().right != 1.0) {
        throw InputError(name(pieces.size() - 1) + " ends at " + shortest(pieces.back().right) +
                         ": the last piece must end at 1");
    }
}

// ln(D / d) for the image's length D and the piece's length d, both formed exactly in
// double-double from the ends as given. A slope near 1 is taken as log1p((D - d) / d), so that
// a small exponent keeps its relative accuracy.
double exponentOf(const MarkovPiece& p) {
    const double lo = std::min(p.imageLeft, p.imageRight);
    const double hi = std::max(p.imageLeft, p.imageRight);
    const DoubleDouble image = exactSum(hi, -lo);
    const DoubleDouble piece = exactSum(p.right, -p.left);
    if (image.hi <= 2.0 * piece.hi) {
        const DoubleDouble ratio = (image - piece) / piece;
        return std::log1p(ratio.hi + ratio.lo);
    }
    return lengthExponent(p.left, p.right) - lengthExponent(lo, hi);
}

void checkExpanding(const MarkovPiece& p, const std::string& name) {
    const DoubleDouble image =
        exactSum(std::max(p.imageLeft, p.imageRight), -std::min(p.imageLeft, p.imageRight));
    const DoubleDouble piece = exactSum(p.right, -p.left);
    if (!(piece < image)) {
        const double slope = (image.hi + image.lo) / (piece.hi + piece.lo);
        throw InputError(name + " " + segment(p.left, p.right) + " maps onto " +
                         segment(p.imageLeft, p.imageRight) + " with a slope of size " +
                         shortest(slope) + ", at most 1: the map must be expanding");
    }
}

// The place of an image end among the ends 0 = x_0 < ... < x_n = 1.
std::uint32_t endIndex(std::span<const double> ends, double value, const std::string& name) {
    const auto at = std::lower_bound(ends.begin(), ends.end(), value);
    if (at == ends.end() || *at != value) {
        throw InputError(name + "'s image end " + shortest(value) +
                         " is not an end of any piece: the map is not Markov");
    }
    return static_cast<std::uint32_t>(at - ends.begin());
}

void checkIrreducible(const IntervalRows& rows,
                      const std::function<std::string(std::size_t)>& name) {
    const Components components = strongComponents(rows);
    if (components.count == 1) {
        return;
    }
    // Component 0 is reached from no other component.
    const auto& of = components.of;
    const auto source = static_cast<std::size_t>(std::find(of.begin(), of.end(), 0U) - of.begin());
    const auto other = static_cast<std::size_t>(
        std::find_if(of.begin(), of.end(), [](std::uint32_t c) { return c != 0; }) - of.begin());
    throw InputError(name(source) + " cannot be reached from " + name(other) +
                     ": the transition graph is not irreducible (maps that fall apart into "
                     "parts are not taken)");
}

} // namespace

std::string pieceName(std::size_t k) {
    return "piece " + std::to_string(k + 1);
}

TransitionMap transitionMap(std::span<const MarkovPiece> pieces,
                            const std::function<std::string(std::size_t)>& name) {
    if (pieces.empty()) {
        throw InputError("a map needs at least one piece");
    }
    if (pieces.size() > kMostPieces) {
        throw InputError("a map has at most " + std::to_string(kMostPieces) + " pieces, not " +
                         std::to_string(pieces.size()));
    }
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        checkValues(pieces[k], name(k));
    }
    checkTiling(pieces, name);
    std::vector<double> ends;
    ends.reserve(pieces.size() + 1);
    ends.push_back(0.0);
    for (const MarkovPiece& p : pieces) {
        ends.push_back(p.right);
    }
    TransitionMap map;
    map.rows.begin.resize(pieces.size());
    map.rows.end.resize(pieces.size());
    map.exponents.resize(pieces.size());
    map.fullBranch = true;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const MarkovPiece& p = pieces[k];
        const std::uint32_t a = endIndex(ends, p.imageLeft, name(k));
        const std::uint32_t b = endIndex(ends, p.imageRight, name(k));
        checkExpanding(p, name(k));
        map.rows.begin[k] = std::min(a, b);
        map.rows.end[k] = std::max(a, b);
        map.exponents[k] = exponentOf(p);
        map.fullBranch =
            map.fullBranch && map.rows.begin[k] == 0 && map.rows.end[k] == pieces.size();
    }
    checkIrreducible(map.rows, name);
    map.breakPoints.assign(ends.begin() + 1, ends.end() - 1);
    if (map.fullBranch) {
        // The exponents ExactSolver takes for these break points, to the bit.
        map.exponents = branchExponents(map.breakPoints);
    }
    return map;
}

} // namespace veltrane
