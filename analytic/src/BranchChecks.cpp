#include "BranchChecks.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <utility>
#include <veltrane/errors.h>
#include <veltrane/text.h>

namespace veltrane::detail {

namespace {

// The pieces' working precision, in bits: their balls are as wide as the pieces, so more bits
// would not tighten them.
constexpr long kPiecePrecision = 128;
// The finest piece is 2^-kDeepest wide (a dyadic, exact in a double), and a pass over [0, 1]
// looks at most kMostPieces pieces: deep enough to see |ψ'| within 2^-20 of 1 decided, bounded
// so that a 4096-character formula is checked within a second.
constexpr int kDeepest = 50;
constexpr std::size_t kMostPieces = 4096;
// The precisions at which ends are compared; at the last, two balls that still meet, each of
// radius at most 2^-kEqualBits, are taken as equal (an end shared, an image touching 0 or 1):
// no finite precision proves two numbers equal.
constexpr std::array<long, 3> kEndPrecisions{128, 512, 2000};
constexpr long kEqualBits = 1900;

Ball pointBall(double t) {
    return Ball(t);
}

// A ball holding [a, b]; a and b are dyadics of at most kDeepest bits, so its midpoint is exact
// and its radius at most rounded up.
Ball pieceBall(double a, double b) {
    Ball ball((a + b) / 2);
    mag_set_d(arb_radref(ball.get()), (b - a) / 2);
    return ball;
}

Jet<Ball> evaluate(const Formula& psi, const Ball& x, long prec) {
    Jet<Ball> jet;
    psi.at(x, prec, jet);
    return jet;
}

bool finite(const Jet<Ball>& jet) {
    return arb_is_finite(jet.value.get()) != 0 && arb_is_finite(jet.slope.get()) != 0;
}

Ball absolute(const Ball& x) {
    Ball r;
    arb_abs(r.get(), x.get());
    return r;
}

Ball product(const Ball& a, const Ball& b, long prec) {
    Ball r;
    arb_mul(r.get(), a.get(), b.get(), prec);
    return r;
}

// Bounds rounded outward to doubles.
double lowerBound(const Ball& x) {
    arf_t bound;
    arf_init(bound);
    arb_get_lbound_arf(bound, x.get(), 53);
    const double d = arf_get_d(bound, ARF_RND_FLOOR);
    arf_clear(bound);
    return d;
}

double upperBound(const Ball& x) {
    arf_t bound;
    arf_init(bound);
    arb_get_ubound_arf(bound, x.get(), 53);
    const double d = arf_get_d(bound, ARF_RND_CEIL);
    arf_clear(bound);
    return d;
}

std::string lowerText(const Ball& x) {
    return shortest(lowerBound(x));
}

std::string upperText(const Ball& x) {
    return shortest(upperBound(x));
}

// How a compares with b, and the balls that decided it.
enum class Relation { AtMost, Above, Equal, Undecided };
struct Comparison {
    Relation relation = Relation::Undecided;
    Ball a;
    Ball b;
};

// How far a ball is provably above 0: its lower bound printed as a double, or as a power of 2
// where a double would round it to 0.
std::string distanceText(const Ball& x) {
    arf_t bound;
    arf_init(bound);
    arb_get_lbound_arf(bound, x.get(), 53);
    const double d = arf_get_d(bound, ARF_RND_FLOOR);
    const long exponent = arf_abs_bound_lt_2exp_si(bound);
    arf_clear(bound);
    return d > 0 ? shortest(d) : "2^" + std::to_string(exponent - 1);
}

// a - b, where a > b is proven: how much by, at the precision that proved it.
std::string excessText(const Comparison& c) {
    Ball by;
    arb_sub(by.get(), c.a.get(), c.b.get(), kEndPrecisions.back());
    return distanceText(by);
}

std::string rangeText(const Ball& x) {
    return "[" + lowerText(x) + ", " + upperText(x) + "]";
}

std::string at(double t) {
    return "x = " + shortest(t);
}

std::string pieceText(double a, double b) {
    return "[" + shortest(a) + ", " + shortest(b) + "]";
}

[[noreturn]] void refuse(const std::string& label, const std::string& why) {
    throw InputError(label + ": " + why);
}

// Walks the pieces of [0, 1] depth first from the left. settle(a, b, last) returns whether it
// decided the piece [a, b]; an undecided piece is halved, unless it is the last that may be
// looked at (the finest, or the budget spent), when settle must refuse rather than return.
template <typename Settle> void walkPieces(Settle&& settle) {
    struct Piece {
        double a;
        double b;
        int depth;
    };
    std::vector<Piece> stack{{0.0, 1.0, 0}};
    std::size_t looked = 0;
    while (!stack.empty()) {
        const Piece piece = stack.back();
        stack.pop_back();
        ++looked;
        const bool last = piece.depth == kDeepest || looked + stack.size() + 2 > kMostPieces;
        if (!settle(piece.a, piece.b, last)) {
            const double middle = (piece.a + piece.b) / 2;
            stack.push_back({middle, piece.b, piece.depth + 1});
            stack.push_back({piece.a, middle, piece.depth + 1});
        }
    }
}

// The strict sign of a ball: 1, -1, or 0 when it holds 0 or is not finite.
int signOf(const Ball& x) {
    if (arb_is_positive(x.get()) != 0) {
        return 1;
    }
    return arb_is_negative(x.get()) != 0 ? -1 : 0;
}

// The sign of ψ' met so far, and where.
struct SignSeen {
    int sign = 0;
    double where = 0;

    void meet(int s, double t, const std::string& label) {
        if (s == 0) {
            return;
        }
        if (sign == 0) {
            sign = s;
            where = t;
        } else if (s != sign) {
            const bool first = sign > 0;
            refuse(label, std::string("not one-to-one: ψ' changes sign, ψ' ") +
                              (first ? "> 0" : "< 0") + " at " + at(where) + " and " +
                              (first ? "< 0" : "> 0") + " at " + at(t));
        }
    }
};

// ψ at the points a, (a + b)/2 and b of a piece left undecided: refuses what a point proves.
void monotoneAtPoints(const Formula& psi, double a, double b, SignSeen& seen,
                      const std::string& label) {
    for (const double t : {a, (a + b) / 2, b}) {
        const Jet<Ball> jet = evaluate(psi, pointBall(t), kPiecePrecision);
        if (arb_is_finite(jet.value.get()) == 0) {
            refuse(label, "undefined at " + at(t) + ": ψ(x) has no finite bound there");
        }
        if (arb_is_finite(jet.slope.get()) == 0) {
            refuse(label, "undefined at " + at(t) + ": ψ'(x) has no finite bound there");
        }
        if (arb_is_zero(jet.slope.get()) != 0) {
            refuse(label, "not one-to-one: ψ' = 0 at " + at(t));
        }
        seen.meet(signOf(jet.slope), t, label);
    }
}

// Compares a with b at the precisions of kEndPrecisions: make(prec, a, b) computes them.
template <typename Make> Comparison compareEnds(Make&& make) {
    Comparison c;
    for (const long prec : kEndPrecisions) {
        make(prec, c.a, c.b);
        if (arb_le(c.a.get(), c.b.get()) != 0) {
            c.relation = Relation::AtMost;
            return c;
        }
        if (arb_gt(c.a.get(), c.b.get()) != 0) {
            c.relation = Relation::Above;
            return c;
        }
    }
    const bool tight = mag_cmp_2exp_si(arb_radref(c.a.get()), -kEqualBits) <= 0 &&
                       mag_cmp_2exp_si(arb_radref(c.b.get()), -kEqualBits) <= 0;
    c.relation = tight ? Relation::Equal : Relation::Undecided;
    return c;
}

// The image's left and right ends at prec bits: ψ(0) and ψ(1), swapped for a decreasing ψ.
std::pair<Ball, Ball> imageEnds(const CheckedBranch& branch, long prec) {
    Ball zero = evaluate(branch.formula, pointBall(0), prec).value;
    Ball one = evaluate(branch.formula, pointBall(1), prec).value;
    if (branch.increasing) {
        return {std::move(zero), std::move(one)};
    }
    return {std::move(one), std::move(zero)};
}

// Whether every ψ_k ∘ ψ_j contracts on the piece x, where ψ_j has the jet j.
bool twoStepsContract(std::span<const CheckedBranch> branches, const Jet<Ball>& j) {
    const Ball unit = pieceBall(0.0, 1.0);
    Ball y;
    if (arb_intersection(y.get(), j.value.get(), unit.get(), kPiecePrecision) == 0) {
        return false;
    }
    const Ball one(1.0);
    const Ball inner = absolute(j.slope);
    return std::all_of(branches.begin(), branches.end(), [&](const CheckedBranch& k) {
        const Jet<Ball> outer = evaluate(k.formula, y, kPiecePrecision);
        const Ball slope = product(absolute(outer.slope), inner, kPiecePrecision);
        return arb_is_finite(slope.get()) != 0 && arb_lt(slope.get(), one.get()) != 0;
    });
}

// Refuses what the point t proves against contraction of branch j.
void contractingAtPoint(std::span<const CheckedBranch> branches, std::size_t j, double t) {
    const CheckedBranch& branch = branches[j];
    const Jet<Ball> jet = evaluate(branch.formula, pointBall(t), kPiecePrecision);
    const Ball slope = absolute(jet.slope);
    const Ball one(1.0);
    if (arb_gt(slope.get(), one.get()) != 0) {
        refuse(branch.label,
               "not contracting at " + at(t) + ": |ψ'(x)| ≥ " + lowerText(slope) + " > 1");
    }
    if (arb_ge(slope.get(), one.get()) == 0) {
        return;
    }
    for (std::size_t k = 0; k < branches.size(); ++k) {
        const Jet<Ball> next = evaluate(branches[k].formula, jet.value, kPiecePrecision);
        if (arb_ge(absolute(next.slope).get(), one.get()) != 0) {
            refuse(branch.label, "not contracting at " + at(t) + ": |ψ'(x)| ≥ 1 there, and " +
                                     branches[k].label + " at ψ(x) " + rangeText(jet.value) +
                                     " has |ψ'| ≥ 1 too (a parabolic point)");
        }
    }
}

[[noreturn]] void refuseEnd(const CheckedBranch& branch, const Comparison& c, bool low,
                            bool leftEnd) {
    const bool atZero = leftEnd == branch.increasing;
    const std::string name = std::string("ψ(") + (atZero ? "0" : "1") + ")";
    const Ball& value = low ? c.b : c.a;
    if (c.relation == Relation::Above) {
        refuse(branch.label, "leaves [0, 1]: " + name + (low ? " < 0" : " > 1") + " by at least " +
                                 excessText(c));
    }
    refuse(branch.label, "cannot decide at 2000 bits whether " + name + (low ? " ≥ 0" : " ≤ 1") +
                             ": " + name + " in " + rangeText(value));
}

} // namespace

bool checkMonotone(const Formula& psi, const std::string& label) {
    SignSeen seen;
    walkPieces([&](double a, double b, bool last) {
        const Jet<Ball> jet = evaluate(psi, pieceBall(a, b), kPiecePrecision);
        const bool bounded = finite(jet);
        const int sign = bounded ? signOf(jet.slope) : 0;
        if (sign != 0) {
            seen.meet(sign, (a + b) / 2, label);
            return true;
        }
        monotoneAtPoints(psi, a, b, seen, label);
        if (!last) {
            return false;
        }
        if (!bounded) {
            refuse(label, "undefined near " + at((a + b) / 2) + ": no finite bound on ψ or ψ' on " +
                              pieceText(a, b));
        }
        refuse(label, "not one-to-one near " + at((a + b) / 2) + ": ψ' in " + rangeText(jet.slope) +
                          " on " + pieceText(a, b) + " is not proven to keep its sign");
    });
    return seen.sign > 0;
}

void checkInside(const CheckedBranch& branch) {
    const Comparison low = compareEnds([&](long prec, Ball& zero, Ball& left) {
        zero = Ball(0.0);
        left = imageEnds(branch, prec).first;
    });
    if (low.relation == Relation::Above || low.relation == Relation::Undecided) {
        refuseEnd(branch, low, true, true);
    }
    const Comparison high = compareEnds([&](long prec, Ball& right, Ball& one) {
        right = imageEnds(branch, prec).second;
        one = Ball(1.0);
    });
    if (high.relation == Relation::Above || high.relation == Relation::Undecided) {
        refuseEnd(branch, high, false, false);
    }
}

void checkContracting(std::span<const CheckedBranch> branches, std::size_t j) {
    const CheckedBranch& branch = branches[j];
    const Ball one(1.0);
    walkPieces([&](double a, double b, bool last) {
        const Jet<Ball> jet = evaluate(branch.formula, pieceBall(a, b), kPiecePrecision);
        const Ball slope = absolute(jet.slope);
        if (arb_lt(slope.get(), one.get()) != 0 || twoStepsContract(branches, jet)) {
            return true;
        }
        for (const double t : {a, (a + b) / 2, b}) {
            contractingAtPoint(branches, j, t);
        }
        if (!last) {
            return false;
        }
        refuse(branch.label, "not contracting near " + at((a + b) / 2) + ": |ψ'| ≤ " +
                                 upperText(slope) + " on " + pieceText(a, b) +
                                 " is not proven below 1, nor for two steps of the map");
    });
}

std::vector<std::size_t> orderImages(std::span<const CheckedBranch> branches) {
    // A first order from the ends' midpoints; the comparisons below then prove it, pair by pair.
    std::vector<std::pair<double, double>> approximate;
    for (const CheckedBranch& branch : branches) {
        const auto [left, right] = imageEnds(branch, kEndPrecisions.front());
        approximate.emplace_back(left.mid(), right.mid());
    }
    std::vector<std::size_t> order(branches.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t i, std::size_t k) { return approximate[i] < approximate[k]; });
    // Right end of each image at most the left end of the next: then the images, each an
    // interval, meet at most at their ends, all pairs of them.
    for (std::size_t p = 0; p + 1 < order.size(); ++p) {
        const CheckedBranch& first = branches[order[p]];
        const CheckedBranch& second = branches[order[p + 1]];
        const Comparison c = compareEnds([&](long prec, Ball& right, Ball& left) {
            right = imageEnds(first, prec).second;
            left = imageEnds(second, prec).first;
        });
        if (c.relation == Relation::AtMost || c.relation == Relation::Equal) {
            continue;
        }
        const auto [l1, r1] = imageEnds(first, kEndPrecisions.back());
        const auto [l2, r2] = imageEnds(second, kEndPrecisions.back());
        const bool inOrder = order[p] < order[p + 1];
        const CheckedBranch& named = inOrder ? first : second;
        const CheckedBranch& other = inOrder ? second : first;
        const std::string images = inOrder
                                       ? "[" + lowerText(l1) + ", " + upperText(r1) + "] and [" +
                                             lowerText(l2) + ", " + upperText(r2) + "]"
                                       : "[" + lowerText(l2) + ", " + upperText(r2) + "] and [" +
                                             lowerText(l1) + ", " + upperText(r1) + "]";
        refuse(named.label + " and " + other.label,
               c.relation == Relation::Above
                   ? "the images " + images + " overlap by more than an end, by at least " +
                         excessText(c)
                   : "cannot decide at 2000 bits whether the images " + images +
                         " meet only at an end: the ends are " + rangeText(c.a) + " and " +
                         rangeText(c.b));
    }
    return order;
}

std::pair<double, double> invariantHull(std::span<const CheckedBranch> branches) {
    // A few steps take most of what the hull shrinks by: each multiplies its width by at most
    // the largest |ψ'|, and the collocation only needs an interval, not the tightest.
    constexpr int kSteps = 8;
    double low = 0.0;
    double high = 1.0;
    for (int step = 0; step < kSteps; ++step) {
        double nextLow = high;
        double nextHigh = low;
        for (const CheckedBranch& branch : branches) {
            for (const double x : {low, high}) {
                const Ball y = evaluate(branch.formula, pointBall(x), kPiecePrecision).value;
                nextLow = std::min(nextLow, lowerBound(y));
                nextHigh = std::max(nextHigh, upperBound(y));
            }
        }
        // Each hull nests in the one before; the rounding outward must not undo that.
        low = std::max(low, nextLow);
        high = std::min(high, nextHigh);
    }
    return {low, high};
}

} // namespace veltrane::detail
