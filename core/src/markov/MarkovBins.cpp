#include "MarkovBins.h"

#include "Compensated.h"
#include "MeasureMoves.h"
#include "TransitionMap.h"

#include <algorithm>
#include <cmath>
#include <veltrane/cascade.h>
#include <veltrane/errors.h>

namespace veltrane {

namespace detail {

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
            m.length = exactSum(pieces[j].right, -pieces[j].left) / image;
            m.weight = weights[i][j - from] / sum;
            m.to = j;
            t.moves.push_back(m);
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
    // State k is eliminated from the chain on 0 .. k: its row's mass to the states left, s (> 0
    // for an irreducible chain), divides the entries into it, and the paths through it are added.
    for (std::size_t k = n; k-- > 1;) {
        const double* row = &a[k * n];
        double s = 0.0;
        for (std::size_t j = 0; j < k; ++j) {
            s += row[j];
        }
        for (std::size_t i = 0; i < k; ++i) {
            double* into = &a[i * n];
            if (into[k] == 0.0) {
                continue; // no path through k: the elimination keeps the rows' sparsity
            }
            into[k] /= s;
            const double f = into[k];
            for (std::size_t j = 0; j < k; ++j) {
                into[j] += f * row[j];
            }
        }
    }
    std::vector<double> pi(n, 0.0);
    pi[0] = 1.0;
    double total = 1.0;
    for (std::size_t j = 1; j < n; ++j) {
        double x = 0.0;
        for (std::size_t i = 0; i < j; ++i) {
            x += pi[i] * a[i * n + j];
        }
        pi[j] = x;
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
// or after this many levels, far more than the mass takes to fall below the others' 2^-50
// (every cycle of moves loses mass, since a piece onto one piece only is not a cycle).
constexpr int kMostSplitLevels = 20000;

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

// The sub-cylinders of c, onto the stack. Their ends are taken at the parent's ends and at the
// moves' offsets, each shared by the two cylinders beside it, so that they tile the parent
// exactly and no bin end falls between two of them or inside both.
void pushChildren(const MarkovBinTables& t, const Cylinder& c, std::vector<Cylinder>& stack) {
    const bool reversed = c.reversed != (t.decreasing[c.piece] != 0);
    const std::size_t begin = t.start[c.piece];
    const std::size_t end = t.start[c.piece + 1];
    DoubleDouble from = reversed ? c.hi : c.lo;
    for (std::size_t e = begin; e < end; ++e) {
        const BinMove& m = t.moves[e];
        DoubleDouble to = reversed ? c.lo : c.hi;
        if (e + 1 < end) {
            const DoubleDouble w = t.moves[e + 1].offset;
            to = reversed ? c.hi - c.width * w : c.lo + c.width * w;
        }
        stack.push_back({reversed ? to : from, reversed ? from : to, c.width * m.length,
                         c.mass * m.weight, m.to, reversed});
        from = to;
    }
}

// What a chunk covers: the bins whose whole cylinders are summed, and the ends that are split.
struct WalkRange {
    std::uint64_t bins = 0;
    std::uint64_t firstBin = 0;
    std::uint64_t lastBin = 0;
    std::uint64_t firstEnd = 0;
    std::uint64_t lastEnd = 0;
};

// Adds the cylinders lying whole in each bin of the range into sums, and leaves for each end of
// the range the cylinder that holds it and no other end (none where the end is a cylinder's end).
// Cylinders holding two ends or more are divided. The cylinders are met in one order whatever the
// range, so that a bin's sum is the same in any chunk.
void walk(const MarkovBinTables& t, const WalkRange& r, std::vector<PositiveSum>& sums,
          std::vector<Cylinder>& held, std::vector<unsigned char>& holds,
          std::vector<Cylinder>& stack) {
    const auto bins = static_cast<double>(r.bins);
    const auto firstBin = static_cast<std::int64_t>(r.firstBin);
    const auto lastBin = static_cast<std::int64_t>(r.lastBin);
    const auto firstEnd = static_cast<std::int64_t>(r.firstEnd);
    const auto lastEnd = static_cast<std::int64_t>(r.lastEnd);
    stack.clear();
    for (std::size_t i = t.pieceCount(); i-- > 0;) {
        const DoubleDouble lo = exactProduct(t.left[i], bins);
        const DoubleDouble hi = exactProduct(t.right[i], bins);
        stack.push_back({lo, hi, hi - lo, t.stationary[i], static_cast<std::uint32_t>(i), false});
    }
    while (!stack.empty()) {
        const Cylinder c = stack.back();
        stack.pop_back();
        if (c.mass == 0.0) {
            // Below the doubles, as the cylinders of a branch almost the whole interval become
            // long before they are shorter than a bin: nothing to add, however deep it goes.
            continue;
        }
        const std::int64_t a = std::max<std::int64_t>(floorOf(c.lo), 0);
        const std::int64_t b = std::min(ceilOf(c.hi), static_cast<std::int64_t>(r.bins));
        if (b - 1 < firstBin || a > lastBin) {
            continue;
        }
        if (b - a <= 1) {
            const std::int64_t bin = std::min(a, static_cast<std::int64_t>(r.bins) - 1);
            if (bin >= firstBin && bin <= lastBin) {
                sums[static_cast<std::size_t>(bin - firstBin)].add(c.mass);
            }
        } else if (b - a == 2) {
            const std::int64_t k = a + 1;
            if (k >= firstEnd && k <= lastEnd) {
                held[static_cast<std::size_t>(k - firstEnd)] = c;
                holds[static_cast<std::size_t>(k - firstEnd)] = 1;
            }
        } else {
            pushChildren(t, c, stack);
        }
    }
}

// The parts of an end's cylinder on either side of it.
struct EndSplit {
    double head = 0.0; // left of the end, to the bin before it
    double tail = 0.0; // right of it
};

// The move of piece whose part of the image holds w: the last whose offset is at most w.
const BinMove& moveAt(const MarkovBinTables& t, std::uint32_t piece, DoubleDouble w) {
    const auto begin = t.moves.begin() + static_cast<std::ptrdiff_t>(t.start[piece]);
    const auto end = t.moves.begin() + static_cast<std::ptrdiff_t>(t.start[piece + 1]);
    const auto at = std::upper_bound(begin + 1, end, w,
                                     [](DoubleDouble x, const BinMove& m) { return x < m.offset; });
    return *(at - 1);
}

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
        const DoubleDouble w = decreasing ? DoubleDouble{1.0} - u : u;
        reversed = reversed != decreasing;
        const BinMove& m = moveAt(t, piece, w);
        // The moves before m in w lie before the end in [0, 1] unless T^(m+1) decreases here.
        double& before = reversed ? right : left;
        double& after = reversed ? left : right;
        before += mass * m.before;
        after += mass * m.after;
        const double kept = mass * m.weight;
        if (!(m.offset < w)) { // the end is the sub-cylinder's own end
            after += kept;
            break;
        }
        u = (w - m.offset) / m.length;
        error /= m.length.hi;
        if (kept < kUndivided * std::min(leftBin + left, rightBin + right) || error > kCoarsest ||
            level >= kMostSplitLevels) {
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
    r.firstBin = first == 0 ? 0 : first - 1;
    r.lastBin = std::min<std::uint64_t>(first + count, bins - 1);
    r.firstEnd = first;
    r.lastEnd = first + count;
    std::vector<PositiveSum> sums(r.lastBin - r.firstBin + 1);
    std::vector<Cylinder> held(count + 1);
    std::vector<unsigned char> holds(count + 1, 0);
    std::vector<Cylinder> stack;
    walk(t, r, sums, held, holds, stack);
    const auto whole = [&](std::uint64_t bin) { return sums[bin - r.firstBin].value(); };
    std::vector<EndSplit> ends(count + 1);
    for (std::size_t i = 0; i <= count; ++i) {
        if (holds[i] != 0) {
            const std::uint64_t k = first + i; // between bins k - 1 and k, both in the range
            ends[i] = split(t, held[i], k, whole(k - 1), whole(k));
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = (whole(first + i) + ends[i].tail) + ends[i + 1].head;
    }
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

} // namespace veltrane
