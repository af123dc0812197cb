#include "MarkovBins.h"

#include "Compensated.h"
#include "MeasureMoves.h"
#include "TransitionMap.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <veltrane/cascade.h>
#include <veltrane/errors.h>

namespace veltrane {

namespace detail {

namespace {

// The block sums of the moves from begin to the end of t.moves, the last piece's.
void addBlocks(MarkovBinTables& t, std::size_t begin) {
    t.firstLevel.push_back(t.levelStart.size());
    const std::size_t count = t.moves.size() - begin;
    t.levelStart.push_back(t.blocks.size());
    for (std::size_t e = begin; e < t.moves.size(); ++e) {
        t.blocks.push_back(t.moves[e].weight);
    }
    for (std::size_t size = count / 2; size > 0; size /= 2) {
        const std::size_t below = t.levelStart.back();
        t.levelStart.push_back(t.blocks.size());
        for (std::size_t j = 0; j < size; ++j) {
            t.blocks.push_back(t.blocks[below + 2 * j] + t.blocks[below + 2 * j + 1]);
        }
    }
}

// Whether move e's offset is at most w, compared exactly and without branches.
bool offsetAtMost(const MarkovBinTables& t, std::size_t e, DoubleDouble w) {
    const double hi = t.offsetHi[e];
    return static_cast<bool>(
        static_cast<int>(hi < w.hi) |
        (static_cast<int>(hi == w.hi) & static_cast<int>(t.offsetLo[e] <= w.lo)));
}

// The branchless search of moveAt among the count moves from base: the last whose offset is at
// most w, or base where none after it is (and where count is 0).
std::size_t searchMoves(const MarkovBinTables& t, std::size_t base, std::size_t count,
                        DoubleDouble w) {
    while (count > 1) {
        const std::size_t half = count / 2;
        const auto above = static_cast<std::size_t>(offsetAtMost(t, base + half, w));
        base += above * half;
        count -= half;
    }
    return base;
}

// Twice as many buckets as piece i has moves, at least: most then hold one offset at most.
void addBuckets(MarkovBinTables& t, std::size_t i) {
    const std::size_t begin = t.start[i];
    const std::size_t count = t.start[i + 1] - begin;
    const int shift = static_cast<int>(std::bit_width(2 * count - 1));
    t.firstBucket.push_back(t.bucket.size());
    const std::size_t buckets = std::size_t{1} << shift;
    t.buckets.push_back(static_cast<double>(buckets));
    for (std::size_t b = 0; b < buckets; ++b) {
        const DoubleDouble w{std::ldexp(static_cast<double>(b), -shift)};
        t.bucket.push_back(static_cast<std::uint32_t>(searchMoves(t, begin, count, w)));
    }
}

} // namespace

MarkovBinTables markovBinTables(std::span<const MarkovPiece> pieces, const MarkovWeights& weights) {
    const TransitionMap map = transitionMap(pieces, pieceName);
    measureMoves(map, weights); // for its refusals, the solver's own
    MarkovBinTables t;
    const std::size_t n = map.rows.size();
    t.start.push_back(0);
    for (std::size_t i = 0; i < n; ++i) {
        t.left.push_back(pieces[i].left);
        t.right.push_back(pieces[i].right);
        t.decreasing.push_back(pieces[i].imageLeft > pieces[i].imageRight ? 1 : 0);
        const std::uint32_t from = map.rows.begin[i];
        const std::uint32_t to = map.rows.end[i];
        const double low = pieces[from].left;
        const DoubleDouble image = exactSum(pieces[to - 1].right, -low);
        double sum = 0.0;
        for (const double w : weights[i]) {
            sum += w;
        }
        const std::size_t begin = t.moves.size();
        for (std::uint32_t j = from; j < to; ++j) {
            BinMove m;
            m.offset = exactSum(pieces[j].left, -low) / image;
            m.inverse = image / exactSum(pieces[j].right, -pieces[j].left);
            m.weight = weights[i][j - from] / sum;
            m.to = j;
            t.moves.push_back(m);
            t.lengths.push_back(exactSum(pieces[j].right, -pieces[j].left) / image);
            t.offsetHi.push_back(m.offset.hi);
            t.offsetLo.push_back(m.offset.lo);
        }
        double before = 0.0;
        for (std::size_t k = begin; k < t.moves.size(); ++k) {
            t.moves[k].before = before;
            before += t.moves[k].weight;
        }
        double after = 0.0;
        for (std::size_t k = t.moves.size(); k-- > begin;) {
            t.moves[k].after = after;
            after += t.moves[k].weight;
        }
        t.start.push_back(t.moves.size());
        addBlocks(t, begin);
        addBuckets(t, i);
    }
    t.stationary = stationaryLaw(t);
    return t;
}

std::vector<double> stationaryLaw(const MarkovBinTables& t) {
    const std::size_t n = t.pieceCount();
    std::vector<double> a(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t e = t.start[i]; e < t.start[i + 1]; ++e) {
            a[i * n + t.moves[e].to] += t.moves[e].weight;
        }
    }
    std::vector<double> pi;
    if (!denseStationary(a, n, pi)) {
        throw RuntimeError(ErrorKind::Internal, "the chain of the measure is not irreducible");
    }
    double total = 0.0;
    for (const double x : pi) {
        total += x;
    }
    for (double& x : pi) {
        x /= total;
    }
    return pi;
}

} // namespace detail

namespace {

using detail::BinMove;
using detail::MarkovBinTables;

// Bins are computed this many at a time, a block of the threads: the walk down to them from
// the pieces costs some levels of the pieces' moves a block.
constexpr std::size_t kChunk = 4096;

// A split stops, sharing what is left by length, once its cylinder's mass is below this part of
// the smaller bin beside the end,
constexpr double kUndivided = 0x1p-50;
// or once the end's place in the cylinder is known to no better than this part of its length:
// the end is placed with 106 bits of a position in bins, and every level down magnifies that
// error by the slope. Where the mass falls more slowly than the length (a local dimension
// below 1) what is left then can be some units of 1e-15 of the bin; stopping sooner would leave
// more (2^-20 left 1e-12 beside a weight of 1e-6).
constexpr double kCoarsest = 0x1p-8;
// or after this many levels: every cycle of moves loses mass (a piece onto one piece only is
// not a cycle), but a cycle of several pieces whose slopes multiply to 1 + 1e-7 and keep the mass
// holds an end beside its periodic point for some ln(1 / distance) / 1e-7 levels, 10^7 and more
// (a piece onto itself is taken in one step, takeRun). Some 15 ns a level: 2 s at most an end,
// and only the ends beside such a point come near it.
constexpr int kMostSplitLevels = 1 << 27;
// Where the mass still undivided at that level is above this part of the smaller bin beside the
// end, sharing it by length could put a bin wrong by as much: the bins are refused instead.
constexpr double kMostSharedAtLastLevel = 0x1p-40;

// A cylinder as the walk meets it: its ends and length in bins, each to 106 bits, the length
// carried as the product of the moves' lengths so that a short cylinder far from 0 keeps its
// digits; its mass, its last piece, and whether T^m decreases on it.
struct Cylinder {
    DoubleDouble lo;
    DoubleDouble hi;
    DoubleDouble width;
    double mass = 0.0;
    std::uint32_t piece = 0;
    bool reversed = false;
};

std::int64_t floorOf(DoubleDouble x) {
    double f = std::floor(x.hi);
    if (f == x.hi && x.lo < 0.0) {
        f -= 1.0;
    }
    return static_cast<std::int64_t>(f);
}

std::int64_t ceilOf(DoubleDouble x) {
    double c = std::ceil(x.hi);
    if (c == x.hi && x.lo > 0.0) {
        c += 1.0;
    }
    return static_cast<std::int64_t>(c);
}

// The move of piece whose part of the image holds w: the last whose offset is at most w (the
// first, whose offset is 0, where w is below every other). Most often it is the last move
// starting at or before w's bucket, or the one after it; else it lies from there to the last
// starting before the bucket above, or, where w rounds down into the bucket below, from the last
// starting at or before that one: searched.
std::size_t moveAt(const MarkovBinTables& t, std::uint32_t piece, DoubleDouble w) {
    const double buckets = t.buckets[piece]; // a power of 2: w.hi times it is exact
    const auto b = static_cast<std::size_t>(std::clamp(w.hi * buckets, 0.0, buckets - 1.0));
    const auto atMost = [&](std::size_t e) { return detail::offsetAtMost(t, e, w); };
    const std::uint32_t* bucket = &t.bucket[t.firstBucket[piece]];
    const std::size_t e = bucket[b];
    if (!atMost(e)) {
        const std::size_t from = b == 0 ? e : bucket[b - 1];
        return detail::searchMoves(t, from, e - from, w);
    }
    const std::size_t last = t.start[piece + 1] - 1;
    if (e == last || !atMost(e + 1)) {
        return e;
    }
    if (e + 1 == last || !atMost(e + 2)) {
        return e + 1;
    }
    const std::size_t to = static_cast<double>(b + 1) < buckets ? bucket[b + 1] : last;
    return detail::searchMoves(t, e + 2, to - e - 1, w);
}

// The weight of the moves from .. to - 1 of piece (counted from its first move), a sum of
// aligned blocks from the left.
double runWeight(const MarkovBinTables& t, std::size_t piece, std::size_t from, std::size_t to) {
    const std::size_t* level = &t.levelStart[t.firstLevel[piece]];
    double sum = 0.0;
    while (from < to) {
        int s = static_cast<int>(std::bit_width(to - from)) - 1;
        if (from != 0) {
            s = std::min(s, std::countr_zero(from));
        }
        sum += t.blocks[level[s] + (from >> s)];
        from += std::size_t{1} << s;
    }
    return sum;
}

// What the walk fills: the whole cylinders' sums of the bins of the range, the cylinders that
// hold one end each, and the cylinders still to divide.
struct WalkState {
    std::vector<PositiveSum> sums;
    std::vector<Cylinder> held;
    std::vector<unsigned char> holds;
    std::vector<Cylinder> stack;
};

// What a chunk covers: the bins whose whole cylinders are summed, and the ends that are split.
struct WalkRange {
    std::uint64_t bins = 0;
    std::int64_t firstBin = 0;
    std::int64_t lastBin = 0;
    std::int64_t firstEnd = 0;
    std::int64_t lastEnd = 0;
};

// The sub-cylinder of c made by move e. Its ends are taken at c's ends and at the moves'
// offsets, each shared by the two sub-cylinders beside it, so that they tile c exactly.
Cylinder child(const MarkovBinTables& t, const Cylinder& c, bool reversed, std::size_t e) {
    const std::size_t begin = t.start[c.piece];
    const std::size_t end = t.start[c.piece + 1];
    const BinMove& m = t.moves[e];
    const auto at = [&](DoubleDouble w) {
        return reversed ? c.hi - c.width * w : c.lo + c.width * w;
    };
    const DoubleDouble from = e == begin ? (reversed ? c.hi : c.lo) : at(m.offset);
    const DoubleDouble to = e + 1 == end ? (reversed ? c.lo : c.hi) : at(t.moves[e + 1].offset);
    return {reversed ? to : from,
            reversed ? from : to,
            c.width * t.lengths[e],
            c.mass * m.weight,
            m.to,
            reversed};
}

// Where end k cuts the sub-cylinders of c, counted in the order of position: through the one at
// place, or, where it falls on an end of one, between place - 1 and place.
struct Cut {
    std::size_t place = 0;
    bool between = false;
};

Cut cutAt(const MarkovBinTables& t, const Cylinder& c, bool reversed, std::int64_t k) {
    const DoubleDouble x{static_cast<double>(k)};
    const DoubleDouble w = reversed ? (c.hi - x) / c.width : (x - c.lo) / c.width;
    const std::size_t at = moveAt(t, c.piece, w);
    const bool onEnd = !(t.moves[at].offset < w);
    const std::size_t e = at - t.start[c.piece];
    const std::size_t count = t.start[c.piece + 1] - t.start[c.piece];
    if (!reversed) {
        return {e, onEnd};
    }
    // In position the moves run backwards: the start of move e in w is its right end.
    return onEnd ? Cut{count - e, true} : Cut{count - 1 - e, false};
}

// The whole sub-cylinders of c at places from .. to - 1 into bin, if it is in the range.
void addRun(const MarkovBinTables& t, const Cylinder& c, bool reversed, std::size_t from,
            std::size_t to, std::int64_t bin, const WalkRange& r, WalkState& s) {
    if (from >= to || bin < r.firstBin || bin > r.lastBin) {
        return;
    }
    const std::size_t count = t.start[c.piece + 1] - t.start[c.piece];
    const double weight = reversed ? runWeight(t, c.piece, count - to, count - from)
                                   : runWeight(t, c.piece, from, to);
    s.sums[static_cast<std::size_t>(bin - r.firstBin)].add(c.mass * weight);
}

// Divides c, which holds the ends a + 1 .. b - 1 (two or more): each end of the range is placed
// among the sub-cylinders, those between two ends are added to their bin as one run, one holding
// a single end is left for its split and one holding more is divided in turn. Which ends a
// sub-cylinder holds is read from its own ends, as when it is divided, not only the range's.
void divide(const MarkovBinTables& t, const Cylinder& c, std::int64_t a, std::int64_t b,
            const WalkRange& r, WalkState& s) {
    const bool reversed = c.reversed != (t.decreasing[c.piece] != 0);
    const std::size_t count = t.start[c.piece + 1] - t.start[c.piece];
    const auto n = static_cast<std::int64_t>(r.bins);
    const std::int64_t from = std::max(a + 1, r.firstBin);
    const std::int64_t to = std::min(b - 1, r.lastBin + 1);
    std::size_t next = 0; // the first place not yet given to a bin
    for (std::int64_t k = from; k <= to;) {
        Cut cut = cutAt(t, c, reversed, k);
        if (cut.place < next) {
            // The sub-cylinder before, by its own ends (rounded to 106 bits), stops short of this
            // end that the search placed in it: the end falls after it.
            cut = {next, true};
        }
        // The places before the range's first end lie in bins before the range, unless that end
        // is c's first.
        if (k > from || from == a + 1) {
            addRun(t, c, reversed, next, cut.place, k - 1, r, s);
        }
        next = cut.place;
        if (cut.between) {
            ++k;
            continue;
        }
        const Cylinder part =
            child(t, c, reversed, t.start[c.piece] + (reversed ? count - 1 - next : next));
        const std::int64_t lo = std::max<std::int64_t>(floorOf(part.lo), 0);
        const std::int64_t hi = std::min(ceilOf(part.hi), n);
        if (hi - lo > 2) {
            s.stack.push_back(part);
        } else if (k >= r.firstEnd && k <= r.lastEnd) {
            s.held[static_cast<std::size_t>(k - r.firstEnd)] = part;
            s.holds[static_cast<std::size_t>(k - r.firstEnd)] = 1;
        }
        next = cut.place + 1;
        k = std::max(k + 1, hi);
    }
    if (to == b - 1) {
        addRun(t, c, reversed, next, count, b - 1, r, s);
    }
}

// Adds the cylinders lying whole in each bin of the range into the sums, and leaves for each end
// of the range the cylinder that holds it and no other end (none where the end is a cylinder's
// end). The cylinders are met in one order whatever the range, so that a bin's sum is the same in
// any chunk.
void walk(const MarkovBinTables& t, const WalkRange& r, WalkState& s) {
    const auto bins = static_cast<double>(r.bins);
    s.stack.clear();
    for (std::size_t i = t.pieceCount(); i-- > 0;) {
        const DoubleDouble lo = exactProduct(t.left[i], bins);
        const DoubleDouble hi = exactProduct(t.right[i], bins);
        s.stack.push_back({lo, hi, hi - lo, t.stationary[i], static_cast<std::uint32_t>(i), false});
    }
    const auto n = static_cast<std::int64_t>(r.bins);
    while (!s.stack.empty()) {
        const Cylinder c = s.stack.back();
        s.stack.pop_back();
        if (c.mass == 0.0) {
            // Below the doubles, as the cylinders of a branch almost the whole interval become
            // long before they are shorter than a bin: nothing to add, however deep it goes.
            continue;
        }
        const std::int64_t a = std::max<std::int64_t>(floorOf(c.lo), 0);
        const std::int64_t b = std::min(ceilOf(c.hi), n);
        if (b - 1 < r.firstBin || a > r.lastBin) {
            continue;
        }
        if (b - a <= 1) {
            const std::int64_t bin = std::min(a, n - 1);
            if (bin >= r.firstBin && bin <= r.lastBin) {
                s.sums[static_cast<std::size_t>(bin - r.firstBin)].add(c.mass);
            }
        } else if (b - a == 2) {
            const std::int64_t k = a + 1;
            if (k >= r.firstEnd && k <= r.lastEnd) {
                s.held[static_cast<std::size_t>(k - r.firstEnd)] = c;
                s.holds[static_cast<std::size_t>(k - r.firstEnd)] = 1;
            }
        } else {
            divide(t, c, a, b, r, s);
        }
    }
}

// A run of a move of an increasing piece onto itself is taken in one step once it is this long:
// near the fixed point of a slope barely above 1 the end stays in that move for millions of
// levels (about ln(distance) / ln(slope)), far beyond kMostSplitLevels.
constexpr double kShortestRun = 64.0;
// and at most this long, a count that a double holds exactly.
constexpr double kLongestRun = 0x1p52;

// x^k, k ≥ 1, by squaring: within 2 log2(k) units of 2^-104 of itself.
DoubleDouble power(DoubleDouble x, std::uint64_t k) {
    DoubleDouble result{1.0};
    for (; k > 0; k >>= 1) {
        if ((k & 1U) != 0) {
            result = result * x;
        }
        x = x * x;
    }
    return result;
}

// Where an end is split, as split carries it from level to level.
struct SplitEnd {
    DoubleDouble u;     // its place in the coordinate of the current cylinder's image, in [0, 1]
    double error = 0.0; // what that place is known to, a part of the cylinder
    double mass = 0.0;  // of the current cylinder
};

// Takes the steps of a run of move m of a piece onto itself that end's place w in the piece's
// image makes at once where they are at least kShortestRun: each step gives the moves before and
// after m their weights of the mass into before and after and multiplies the mass by P, and
// moves the end away from the fixed point p by the slope. An increasing piece repeats one step,
// w → (w - offset) / length, about p = offset / (1 - length); a decreasing one a pair of them,
// w → 1 - (w - offset) / length, about p = (offset + length) / (1 + length), the second giving
// the first's sides each other's parts. The run is cut two steps short of where the end could
// leave m, its error reach kCoarsest or the mass fall below least, so that the walk goes on one
// level at a time from there. Returns whether it took them; e.u is then the place in the image
// before the piece's orientation, as the next level starts from.
bool takeRun(const BinMove& m, DoubleDouble length, DoubleDouble w, bool decreasing, double least,
             SplitEnd& e, double& before, double& after) {
    const double period = decreasing ? 2.0 : 1.0; // steps
    const double grow = logOf(m.inverse);         // ln slope > 0, a step
    const DoubleDouble one{1.0};
    const DoubleDouble gap = decreasing ? one + length : one - length;
    const DoubleDouble p = (decreasing ? m.offset + length : m.offset) / gap;
    const DoubleDouble d = w - p;
    // The fixed point is known to 2^-104 / gap of itself: a slope near 1 of an increasing piece
    // magnifies the moves' own rounding, as the steps one at a time would.
    const double error = e.error + 0x1p-100 / gap.hi;
    double steps = std::min(kLongestRun, std::log(kCoarsest / error) / grow);
    const double below = (p - m.offset).hi; // the room on either side of p within m
    const double above = (m.offset + length - p).hi;
    const double room = decreasing ? std::min(below, above) : d.hi < 0.0 ? below : above;
    if (d.hi != 0.0) {
        steps = std::min(steps, std::log(room / std::fabs(d.hi)) / grow);
    }
    // ln P from the weight of the other moves, which leaves the run each step: 1 - m.weight
    // would carry the rounding of P, 2^-53 of 1, a large part of 1 - P where P is near 1.
    const double fall = std::log1p(-(m.before + m.after));
    if (fall < 0.0 && least > 0.0) {
        steps = std::min(steps, std::log(least / e.mass) / fall);
    }
    const double periods = std::floor(steps / period) - 2.0;
    // Where the mass falls by 2^-50 in fewer steps than kShortestRun the steps are taken one at
    // a time, as they always were: the run cannot be long.
    if (!(periods >= kShortestRun) || fall * kShortestRun <= std::log(kUndivided)) {
        return false;
    }
    // Σ P^(period k) for k below periods, and P^(period periods), each within some units of
    // rounding of itself.
    const double perPeriod = period * fall;
    const double sum =
        fall == 0.0 ? periods : std::expm1(periods * perPeriod) / std::expm1(perPeriod);
    const double toBefore = decreasing ? m.before + m.weight * m.after : m.before;
    const double toAfter = decreasing ? m.after + m.weight * m.before : m.after;
    before += e.mass * toBefore * sum;
    after += e.mass * toAfter * sum;
    e.mass *= std::exp(periods * perPeriod);
    const DoubleDouble scale = power(m.inverse, static_cast<std::uint64_t>(periods * period));
    const DoubleDouble next = p + d * scale;
    e.u = decreasing ? one - next : next;
    e.error = error * scale.hi;
    return true;
}

// The parts of an end's cylinder on either side of it.
struct EndSplit {
    double head = 0.0; // left of the end, to the bin before it
    double tail = 0.0; // right of it
};

// Splits c at end: at every level the sub-cylinders on either side of the end go whole to its
// side, as the sums of their weights before and after the one holding it, until what is left is
// below kUndivided of the smaller of the bins beside the end (their whole cylinders, leftBin and
// rightBin, and what the split gave them so far), then shared by length.
EndSplit split(const MarkovBinTables& t, const Cylinder& c, std::uint64_t end, double leftBin,
               double rightBin) {
    const DoubleDouble x{static_cast<double>(end)};
    // u: where the end lies in the coordinate of T^m's image, a fraction of the cylinder.
    DoubleDouble u = c.reversed ? (c.hi - x) / c.width : (x - c.lo) / c.width;
    double error = 0x1p-100 * static_cast<double>(end) / c.width.hi;
    double left = 0.0;
    double right = 0.0;
    double mass = c.mass;
    std::uint32_t piece = c.piece;
    bool reversed = c.reversed;
    for (int level = 0;; ++level) {
        const bool decreasing = t.decreasing[piece] != 0;
        // w and u carry errors of 2^-106 of 1 already: the loose difference loses no more.
        const DoubleDouble w = decreasing ? looseDifference(DoubleDouble{1.0}, u) : u;
        reversed = reversed != decreasing;
        const std::size_t at = moveAt(t, piece, w);
        const BinMove& m = t.moves[at];
        // The moves before m in w lie before the end in [0, 1] unless T^(m+1) decreases here.
        double& before = reversed ? right : left;
        double& after = reversed ? left : right;
        if (m.to == piece) {
            SplitEnd e{u, error, mass};
            const double least = kUndivided * std::min(leftBin + left, rightBin + right);
            if (takeRun(m, t.lengths[at], w, decreasing, least, e, before, after)) {
                u = e.u;
                error = e.error;
                mass = e.mass;
                reversed = reversed != decreasing; // an even number of steps
                continue;
            }
        }
        before += mass * m.before;
        after += mass * m.after;
        const double kept = mass * m.weight;
        if (!(m.offset < w)) { // the end is the sub-cylinder's own end
            after += kept;
            break;
        }
        u = looseDifference(w, m.offset) * m.inverse;
        error *= m.inverse.hi;
        const double smaller = std::min(leftBin + left, rightBin + right);
        if (level >= kMostSplitLevels && !(kept < kMostSharedAtLastLevel * smaller) &&
            !(error > kCoarsest)) {
            throw RuntimeError(ErrorKind::Internal,
                               "bin end " + std::to_string(end) + " lies beside a periodic point " +
                                   "of slope too near 1 to split within " +
                                   std::to_string(kMostSplitLevels) + " levels");
        }
        if (kept < kUndivided * smaller || error > kCoarsest || level >= kMostSplitLevels) {
            const double share = std::clamp(u.hi, 0.0, 1.0);
            before += kept * share;
            after += kept * (1.0 - share);
            break;
        }
        mass = kept;
        piece = m.to;
    }
    return {left, right};
}

// Bins first .. first + out.size() - 1 (at most kChunk).
void chunk(const MarkovBinTables& t, std::uint64_t bins, std::uint64_t first,
           std::span<double> out) {
    const std::size_t count = out.size();
    WalkRange r;
    r.bins = bins;
    r.firstBin = static_cast<std::int64_t>(first == 0 ? 0 : first - 1);
    r.lastBin = static_cast<std::int64_t>(std::min<std::uint64_t>(first + count, bins - 1));
    r.firstEnd = static_cast<std::int64_t>(first);
    r.lastEnd = static_cast<std::int64_t>(first + count);
    WalkState s;
    s.sums.resize(static_cast<std::size_t>(r.lastBin - r.firstBin + 1));
    s.held.resize(count + 1);
    s.holds.assign(count + 1, 0);
    walk(t, r, s);
    const auto whole = [&](std::uint64_t bin) {
        return s.sums[bin - static_cast<std::uint64_t>(r.firstBin)].value();
    };
    std::vector<EndSplit> ends(count + 1);
    for (std::size_t i = 0; i <= count; ++i) {
        if (s.holds[i] != 0) {
            const std::uint64_t k = first + i; // between bins k - 1 and k, both in the range
            ends[i] = split(t, s.held[i], k, whole(k - 1), whole(k));
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = (whole(first + i) + ends[i].tail) + ends[i + 1].head;
    }
}

// The number of words of d + 1 pieces from each piece, d = 0 .. levels, counts[d n + i],
// each at most limit + 1 (a saturated count stays so): the words from i are i followed by a
// word from each piece its image covers.
std::vector<std::uint64_t> wordCounts(const MarkovBinTables& t, unsigned levels,
                                      std::uint64_t limit) {
    const std::size_t n = t.pieceCount();
    std::vector<std::uint64_t> counts(n, 1);
    counts.reserve((std::size_t{levels} + 1) * n);
    for (unsigned d = 1; d <= levels; ++d) {
        const std::size_t below = (d - 1) * n;
        for (std::size_t i = 0; i < n; ++i) {
            std::uint64_t sum = 0;
            for (std::size_t e = t.start[i]; e < t.start[i + 1]; ++e) {
                sum = std::min(sum + counts[below + t.moves[e].to], limit + 1);
            }
            counts.push_back(sum);
        }
    }
    return counts;
}

// The counts of words down to depth levels at least, from the tables' own store: computed once
// for the deepest level asked so far, while the other threads asking wait for it.
std::shared_ptr<const std::vector<std::uint64_t>> countsFor(const MarkovBinTables& t,
                                                            unsigned levels) {
    detail::MarkovCellCounts& store = *t.cellCounts;
    const std::scoped_lock held(store.lock);
    if (store.depths <= levels) {
        store.counts = std::make_shared<const std::vector<std::uint64_t>>(
            wordCounts(t, levels, Cascade::kMaxBins));
        store.depths = std::size_t{levels} + 1;
    }
    return store.counts;
}

// The counts kept already if they reach depth levels, else none.
std::shared_ptr<const std::vector<std::uint64_t>> keptCounts(const MarkovBinTables& t,
                                                             unsigned levels) {
    detail::MarkovCellCounts& store = *t.cellCounts;
    const std::scoped_lock held(store.lock);
    return store.depths > levels ? store.counts : nullptr;
}

// The move of c's piece at place (counted in the order of position) and whether the
// sub-cylinders run backwards in position.
std::size_t moveAtPlace(const MarkovBinTables& t, const Cylinder& c, std::size_t place) {
    const bool reversed = c.reversed != (t.decreasing[c.piece] != 0);
    const std::size_t count = t.start[c.piece + 1] - t.start[c.piece];
    return t.start[c.piece] + (reversed ? count - 1 - place : place);
}

Cylinder pieceCylinder(const MarkovBinTables& t, std::size_t i) {
    const DoubleDouble lo{t.left[i]};
    const DoubleDouble hi{t.right[i]};
    return {
        lo,   hi, exactSum(t.right[i], -t.left[i]), t.stationary[i], static_cast<std::uint32_t>(i),
        false};
}

// The path to a cell: the cylinder at each depth and its place among its parent's
// sub-cylinders (the piece at depth 0).
struct CellPath {
    std::vector<Cylinder> cylinders;
    std::vector<std::size_t> places;
};

Cylinder placed(const MarkovBinTables& t, const Cylinder& parent, std::size_t place) {
    const bool reversed = parent.reversed != (t.decreasing[parent.piece] != 0);
    return child(t, parent, reversed, moveAtPlace(t, parent, place));
}

// Descends to cell first of level levels: at each depth the sub-cylinder whose words hold what
// is left of the index.
CellPath descend(const MarkovBinTables& t, const std::vector<std::uint64_t>& counts,
                 unsigned levels, std::uint64_t first) {
    const std::size_t n = t.pieceCount();
    CellPath path{std::vector<Cylinder>(std::size_t{levels} + 1),
                  std::vector<std::size_t>(std::size_t{levels} + 1, 0)};
    std::uint64_t rest = first;
    std::size_t piece = 0;
    while (rest >= counts[std::size_t{levels} * n + piece]) {
        rest -= counts[std::size_t{levels} * n + piece];
        ++piece;
    }
    path.places[0] = piece;
    path.cylinders[0] = pieceCylinder(t, piece);
    for (unsigned k = 1; k <= levels; ++k) {
        const Cylinder& parent = path.cylinders[k - 1];
        const std::size_t below = std::size_t{levels - k} * n;
        std::size_t place = 0;
        for (;; ++place) {
            const std::uint64_t words = counts[below + t.moves[moveAtPlace(t, parent, place)].to];
            if (rest < words) {
                break;
            }
            rest -= words;
        }
        path.places[k] = place;
        path.cylinders[k] = placed(t, parent, place);
    }
    return path;
}

// Steps the path to the next cell: the deepest place that can move on does, and the levels
// below it start again at their first sub-cylinder.
void stepPath(const MarkovBinTables& t, unsigned levels, CellPath& path) {
    unsigned k = levels;
    while (k > 0) {
        const Cylinder& parent = path.cylinders[k - 1];
        const std::size_t count = t.start[parent.piece + 1] - t.start[parent.piece];
        if (++path.places[k] < count) {
            break;
        }
        --k;
    }
    if (k == 0) {
        path.cylinders[0] = pieceCylinder(t, ++path.places[0]);
    } else {
        path.cylinders[k] = placed(t, path.cylinders[k - 1], path.places[k]);
    }
    for (unsigned m = k + 1; m <= levels; ++m) {
        path.places[m] = 0;
        path.cylinders[m] = placed(t, path.cylinders[m - 1], 0);
    }
}

Cascade::Cell cellOf(const Cylinder& c) {
    return {c.lo.hi + c.lo.lo, c.width.hi + c.width.lo, c.mass};
}

} // namespace

namespace detail {

void markovBinMasses(const MarkovBinTables& t, std::uint64_t bins, std::uint64_t first,
                     std::span<double> out, const RunControl& control) {
    forEachBlock(out.size(), kChunk, control, [&](std::size_t from, std::size_t count) {
        chunk(t, bins, first + from, out.subspan(from, count));
        if (control.done != nullptr) {
            *control.done += count;
        }
    });
}

} // namespace detail

MarkovCascade::MarkovCascade(std::span<const MarkovPiece> pieces, const MarkovWeights& weights) {
    if (pieces.size() > kMostPieces) {
        throw InputError("the bins of a Markov measure take maps of at most " +
                         std::to_string(kMostPieces) + " pieces, not " +
                         std::to_string(pieces.size()));
    }
    m_tables =
        std::make_shared<const detail::MarkovBinTables>(detail::markovBinTables(pieces, weights));
}

std::size_t MarkovCascade::pieceCount() const {
    return m_tables->pieceCount();
}

const std::vector<double>& MarkovCascade::stationary() const {
    return m_tables->stationary;
}

void MarkovCascade::binMasses(std::uint64_t bins, std::uint64_t first, std::span<double> out,
                              const RunControl& control) const {
    Cascade::checkBins(bins, first, out.size());
    detail::markovBinMasses(*m_tables, bins, first, out, control);
}

std::uint64_t MarkovCascade::cellCount(unsigned levels) const {
    const detail::MarkovBinTables& t = *m_tables;
    const std::size_t n = t.pieceCount();
    const std::uint64_t limit = Cascade::kMaxBins;
    const auto total = [&](std::span<const std::uint64_t> counts) {
        std::uint64_t all = 0;
        for (const std::uint64_t c : counts) {
            all = std::min(all + c, limit + 1);
        }
        return all;
    };
    if (const auto kept = keptCounts(t, levels)) {
        return total(std::span(*kept).subspan(std::size_t{levels} * n, n));
    }
    // Two rows of the counts at a time; the total never falls from a level to the next (every
    // piece has a move), so once above the limit it stays there.
    std::vector<std::uint64_t> row(n, 1);
    std::vector<std::uint64_t> next(n);
    for (unsigned d = 1; d <= levels && total(row) <= limit; ++d) {
        for (std::size_t i = 0; i < n; ++i) {
            std::uint64_t sum = 0;
            for (std::size_t e = t.start[i]; e < t.start[i + 1]; ++e) {
                sum = std::min(sum + row[t.moves[e].to], limit + 1);
            }
            next[i] = sum;
        }
        row.swap(next);
    }
    return total(row);
}

void MarkovCascade::checkCells(unsigned levels, std::uint64_t first, std::uint64_t count) const {
    const std::uint64_t cells = cellCount(levels);
    if (cells > Cascade::kMaxBins) {
        throw InputError("level " + std::to_string(levels) + " has more than " +
                         std::to_string(Cascade::kMaxBins) + " cells");
    }
    if ((std::uint64_t{levels} + 1) * pieceCount() > kMostCountEntries) {
        throw InputError("the cells of level " + std::to_string(levels) + " of " +
                         std::to_string(pieceCount()) + " pieces need more than " +
                         std::to_string(kMostCountEntries) + " counts of words");
    }
    if (first > cells || count > cells - first) {
        throw InputError("cells " + std::to_string(first) + " to " + std::to_string(first + count) +
                         " (not included) of the " + std::to_string(cells) + " of level " +
                         std::to_string(levels) + " do not exist");
    }
}

void MarkovCascade::levelCells(unsigned levels, std::uint64_t first,
                               std::span<Cascade::Cell> out) const {
    checkCells(levels, first, out.size());
    if (out.empty()) {
        return;
    }
    const detail::MarkovBinTables& t = *m_tables;
    const std::shared_ptr<const std::vector<std::uint64_t>> counts = countsFor(t, levels);
    CellPath path = descend(t, *counts, levels, first);
    out[0] = cellOf(path.cylinders[levels]);
    for (std::size_t c = 1; c < out.size(); ++c) {
        stepPath(t, levels, path);
        out[c] = cellOf(path.cylinders[levels]);
    }
}

} // namespace veltrane
