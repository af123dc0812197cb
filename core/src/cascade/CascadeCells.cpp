#include "CascadeCells.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

namespace veltrane {

namespace {

// Cells of a block: the last L levels, n^L at most this many, are expanded together, which
// keeps a block's arrays in the first-level cache and the walk to it from [0, 1] a few levels
// per thousand cells.
constexpr std::uint64_t kBlockCells = 4096;

// The levels a block spans, at least one where there is a level to span, and its cells.
struct Blocks {
    unsigned levels = 0;
    std::uint64_t cells = 1;
};

Blocks blocksOf(std::size_t n, unsigned levels) {
    Blocks b;
    while (b.levels < levels && (b.levels == 0 || b.cells * n <= kBlockCells)) {
        ++b.levels;
        b.cells *= n;
    }
    return b;
}

// A cell as the reference follows it down: left end and width with 106 bits, and mass.
struct Followed {
    DoubleDouble left;
    DoubleDouble width{1.0};
    double mass = 1.0;
};

// A double as the sum of two halves of 26 and 27 bits, whose products are exact.
struct Halves {
    double high = 0.0;
    double low = 0.0;
};

Halves halves(double a) {
#ifdef __FMA__
    return {a, 0.0}; // unused: products are formed with fma
#else
    constexpr double kSplitter = 134217729.0; // 2^27 + 1, as exactProduct splits
    const double c = kSplitter * a;
    const double high = c - (c - a);
    return {high, a - high};
#endif
}

// exactProduct(a, b) from the halves of a and b split beforehand: the same operations on the
// same halves, so the same bits.
DoubleDouble product(double a, Halves ha, double b, Halves hb) {
#ifdef __FMA__
    static_cast<void>(ha);
    static_cast<void>(hb);
    return exactProduct(a, b);
#else
    const double p = a * b;
    return {p, ((ha.high * hb.high - p) + ha.high * hb.low + ha.low * hb.high) + ha.low * hb.low};
#endif
}

// The cell of level `level` numbered c, followed down digit by digit from [0, 1], the most
// significant first.
Followed follow(const CascadeBranches& t, unsigned level, std::uint64_t c) {
    const std::size_t n = t.count();
    std::vector<std::size_t> digits(level);
    for (unsigned m = level; m-- > 0;) {
        digits[m] = static_cast<std::size_t>(c % n);
        c /= n;
    }
    Followed f;
    for (const std::size_t d : digits) {
        f.left = f.left + f.width * t.breaks[d];
        f.width = f.width * t.lengths[d];
        f.mass = f.mass * t.weights[d];
    }
    return f;
}

// A cell with the halves of its width, for its children.
struct Parent {
    Parent() = default;
    explicit Parent(const Followed& f) : cell(f), width(halves(f.width.hi)) {}
    Followed cell;
    Halves width;
};

// The cells of level `levels` numbered first .. first + count - 1, a block at a time: for
// each block the cell above it, then, level by level, the cells of the block that have cells
// of the range below them, each from its parent. root(top, b) gives the cell above block b,
// child(parent, k, child) forms the child by branch k, emit(cell, c) hands on cell c of the
// last level.
template <typename Value, typename Root, typename Child, typename Emit>
void expand(const CascadeBranches& t, unsigned levels, std::uint64_t first, std::uint64_t count,
            Root root, Child child, Emit emit) {
    const std::size_t n = t.count();
    const Blocks block = blocksOf(n, levels);
    const unsigned top = levels - block.levels;
    std::vector<Value> above;
    std::vector<Value> below;
    const std::uint64_t last = first + count - 1;
    for (std::uint64_t b = first / block.cells; b <= last / block.cells; ++b) {
        const std::uint64_t base = b * block.cells;
        const std::uint64_t from = std::max(first, base) - base;
        const std::uint64_t to = std::min(last, base + block.cells - 1) - base;
        above.assign(1, root(top, b));
        // The range's cells in the block at level top + l are from / n^(L-l) .. to / n^(L-l).
        std::uint64_t span = block.cells;
        std::uint64_t low = 0;
        for (unsigned l = 0; l < block.levels; ++l) {
            span /= n;
            const std::uint64_t childLow = from / span;
            const std::uint64_t childHigh = to / span;
            below.resize(static_cast<std::size_t>(childHigh - childLow + 1));
            std::uint64_t parent = childLow / n;
            std::size_t k = static_cast<std::size_t>(childLow % n);
            for (std::size_t i = 0; i < below.size(); ++i) {
                child(above[static_cast<std::size_t>(parent - low)], k, below[i]);
                if (++k == n) {
                    k = 0;
                    ++parent;
                }
            }
            low = childLow;
            std::swap(above, below);
        }
        for (std::size_t i = 0; i < above.size(); ++i) {
            emit(above[i], base + from + i);
        }
    }
}

// Whether every branch has the same length, to the last bit.
bool equalLengths(const CascadeBranches& branches) {
    const DoubleDouble first = branches.lengths[0];
    return std::all_of(branches.lengths.begin(), branches.lengths.end(),
                       [&](const DoubleDouble& l) { return l.hi == first.hi && l.lo == first.lo; });
}

} // namespace

std::optional<unsigned> levelOfBins(const CascadeBranches& branches, std::uint64_t bins) {
    const std::size_t n = branches.count();
    if (n < 2 || !equalLengths(branches)) {
        return std::nullopt;
    }
    for (std::size_t k = 0; k < n; ++k) {
        if (branches.runs.branch(k).takesRuns) {
            return std::nullopt;
        }
    }
    unsigned levels = 0;
    std::uint64_t cells = 1;
    while (cells < bins && cells <= bins / n) {
        cells *= n;
        ++levels;
    }
    return cells == bins ? std::optional<unsigned>(levels) : std::nullopt;
}

void cellBinMasses(const CascadeBranches& branches, const CascadeSplit& split, unsigned levels,
                   std::uint64_t first, std::span<double> out) {
    if (out.empty()) {
        return;
    }
    const std::vector<double>& w = branches.weights;
    expand<double>(
        branches, levels, first, out.size(),
        [&](unsigned top, std::uint64_t b) { return follow(branches, top, b).mass; },
        [&](double parent, std::size_t k, double& child) { child = parent * w[k]; },
        [&](double mass, std::uint64_t c) { out[c - first] = split.fromLeftEnd(mass); });
}

void cellsOfLevel(const CascadeBranches& branches, unsigned levels, std::uint64_t first,
                  std::span<Cascade::Cell> out) {
    if (out.empty()) {
        return;
    }
    const std::size_t n = branches.count();
    const std::vector<double>& w = branches.weights;
    if (n >= 2 && equalLengths(branches)) {
        // n = 2^s: ends and widths are multiples of 2^-sM below 1, sM ≤ 40 bits, exact doubles,
        // as the 106-bit sums and products that follow them give them.
        const double width = std::ldexp(1.0, -std::countr_zero(n) * static_cast<int>(levels));
        expand<double>(
            branches, levels, first, out.size(),
            [&](unsigned top, std::uint64_t b) { return follow(branches, top, b).mass; },
            [&](double parent, std::size_t k, double& child) { child = parent * w[k]; },
            [&](double mass, std::uint64_t c) {
                out[c - first] = {static_cast<double>(c) * width, width, mass};
            });
        return;
    }
    // Each width's halves are split once for its n children, each branch's once for all.
    std::vector<Halves> breaks;
    std::vector<Halves> lengths;
    for (std::size_t k = 0; k < n; ++k) {
        breaks.push_back(halves(branches.breaks[k]));
        lengths.push_back(halves(branches.lengths[k].hi));
    }
    expand<Parent>(
        branches, levels, first, out.size(),
        [&](unsigned top, std::uint64_t b) { return Parent(follow(branches, top, b)); },
        [&](const Parent& parent, std::size_t k, Parent& child) {
            const Followed& f = parent.cell;
            const double brk = branches.breaks[k];
            const DoubleDouble& length = branches.lengths[k];
            // f.width * brk and f.width * length as operator* forms them.
            const DoubleDouble p = product(f.width.hi, parent.width, brk, breaks[k]);
            const DoubleDouble q = product(f.width.hi, parent.width, length.hi, lengths[k]);
            child.cell.left = f.left + exactSumOrdered(p.hi, p.lo + f.width.lo * brk);
            child.cell.width =
                exactSumOrdered(q.hi, q.lo + (f.width.hi * length.lo + f.width.lo * length.hi));
            child.cell.mass = f.mass * w[k];
            child.width = halves(child.cell.width.hi);
        },
        [&](const Parent& p, std::uint64_t c) {
            const Followed& f = p.cell;
            out[c - first] = {f.left.hi + f.left.lo, f.width.hi + f.width.lo, f.mass};
        });
}

} // namespace veltrane
