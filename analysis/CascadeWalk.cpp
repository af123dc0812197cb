#include "CascadeWalk.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace veltrane {

CascadeBranches::CascadeBranches(const std::vector<double>& breakPoints,
                                 std::vector<double> normalized)
    : weights(std::move(normalized)) {
    const std::size_t n = weights.size();
    breaks.push_back(0.0);
    breaks.insert(breaks.end(), breakPoints.begin(), breakPoints.end());
    breaks.push_back(1.0);
    double sum = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        lengths.push_back(exactSum(breaks[k + 1], -breaks[k]));
        before.push_back(sum);
        sum += weights[k];
    }
    after.assign(n, 0.0);
    sum = 0.0;
    for (std::size_t k = n; k-- > 0;) {
        after[k] = sum;
        sum += weights[k];
    }
}

namespace {

// A cell in bins, with the bin ends it holds: those j with left ≤ j < right, which are
// first .. last - 1.
struct Node {
    DoubleDouble left;
    DoubleDouble right;
    DoubleDouble width;
    double mass = 1.0;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

// The least integer at or above x = hi + lo, for 0 ≤ x < 2^52: a hi that is not an integer
// lies at least an ulp from one, farther than lo reaches.
std::uint64_t ceiling(DoubleDouble x) {
    const double c = std::ceil(x.hi);
    return static_cast<std::uint64_t>(c) + static_cast<std::uint64_t>(c == x.hi && x.lo > 0.0);
}

// Where bin end x lies in its own cell, measured from the nearer end so that an end close to
// a cell end keeps its distance to full relative precision.
BinEnd place(const Node& cell) {
    const DoubleDouble x{static_cast<double>(cell.first)};
    // The ends carry errors of a few units of 2^-106 of N already.
    const DoubleDouble fromLeft = looseDifference(x, cell.left);
    const DoubleDouble fromRight = looseDifference(cell.right, x);
    BinEnd end;
    end.fromRight = fromRight < fromLeft;
    end.distance = end.fromRight ? fromRight : fromLeft;
    end.width = cell.width; // divided by in the split, where ends overlap
    end.mass = cell.mass;
    return end;
}

class Walk {
public:
    Walk(const CascadeBranches& branches, const WalkRange& range, double* sums, BinEnd* ends)
        : m_branches(branches), m_range(range), m_sums(sums), m_ends(ends) {}

    void run() {
        const DoubleDouble all{static_cast<double>(m_range.bins)};
        const Node whole{{}, all, all, 1.0, 0, m_range.bins};
        if (m_range.bins == 1) {
            addOwn(whole);
        } else {
            m_stack.push_back(whole);
        }
        while (!m_stack.empty()) {
            const Node cell = m_stack.back();
            m_stack.pop_back();
            visit(cell);
        }
    }

private:
    // Whether the bins the cell meets, from the one holding its left end to the one holding
    // its right end, meet the range.
    bool meetsRange(const Node& cell) const {
        const std::uint64_t from = std::max<std::uint64_t>(cell.first, 1) - 1;
        return from <= m_range.lastBin && cell.last - 1 >= m_range.firstBin;
    }

    // Splits a cell holding more than one bin end into its branches, the rightmost first so
    // that the leftmost is visited first: a branch holding no end lies whole in one bin, a
    // branch holding one end is that end's own cell, and one holding more is split in turn.
    void visit(const Node& cell) {
        if (!meetsRange(cell)) {
            return;
        }
        const std::size_t n = m_branches.count();
        Node part;
        part.right = cell.right;
        part.last = cell.last;
        for (std::size_t k = n; k-- > 0;) {
            part.left = k == 0 ? cell.left : looseSum(cell.left, cell.width * m_branches.breaks[k]);
            part.first = k == 0 ? cell.first : ceiling(part.left);
            part.mass = cell.mass * m_branches.weights[k];
            if (part.first == part.last) {
                addWhole(part);
            } else {
                part.width = cell.width * m_branches.lengths[k];
                if (part.last == part.first + 1) {
                    addOwn(part);
                } else {
                    m_stack.push_back(part);
                }
            }
            part.right = part.left;
            part.last = part.first;
        }
    }

    // A cell holding no bin end lies in bin first - 1.
    void addWhole(const Node& cell) {
        const std::uint64_t bin = cell.first - 1;
        if (bin >= m_range.firstBin && bin <= m_range.lastBin) {
            m_sums[bin - m_range.firstBin] += cell.mass;
        }
    }

    void addOwn(const Node& cell) {
        if (cell.first >= m_range.firstEnd && cell.first <= m_range.lastEnd) {
            m_ends[cell.first - m_range.firstEnd] = place(cell);
        }
    }

    const CascadeBranches& m_branches;
    const WalkRange& m_range;
    double* m_sums;
    BinEnd* m_ends;
    std::vector<Node> m_stack;
};

} // namespace

void walkCells(const CascadeBranches& branches, const WalkRange& range, double* sums,
               BinEnd* ends) {
    Walk(branches, range, sums, ends).run();
}

} // namespace veltrane
