#include "CascadeWalk.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <utility>

namespace veltrane {

CascadeBranches::CascadeBranches(std::span<const double> breakPoints,
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
    runs = CascadeRuns(breaks, lengths, weights, before, after);
    for (const std::vector<double>* level = &weights; level->size() >= 2;) {
        std::vector<double> pairs(level->size() / 2);
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            pairs[i] = (*level)[2 * i] + (*level)[2 * i + 1];
        }
        m_blockSums.push_back(std::move(pairs));
        level = &m_blockSums.back();
    }
}

double CascadeBranches::weightOf(std::size_t first, std::size_t last) const {
    double sum = 0.0;
    for (std::size_t i = first; i <= last;) {
        // The largest aligned block that starts at i and ends by last.
        std::size_t size = 1;
        unsigned level = 0;
        while (level < m_blockSums.size() && i % (2 * size) == 0 && i + 2 * size - 1 <= last) {
            size *= 2;
            ++level;
        }
        sum += level == 0 ? weights[i] : m_blockSums[level - 1][i / size];
        i += size;
    }
    return sum;
}

namespace {

// Runs of at least this many branches that hold no bin end and lie in one bin are added as one
// sum of their weights; shorter ones branch by branch.
constexpr std::size_t kManyBranches = 16;

// A part of a branch taking long runs that shares its cell's bin ends with other branches is
// walked as a chain from this many ends on. Below, walking it level by level costs at most about
// as many levels as it holds ends, since each level passes at least one end to the other
// branches while they hold ends; above, a bin narrower than a short branch beside a long one
// would cost a level for every few bins before it, billions at 2^36 bins.
constexpr std::uint64_t kChainedEnds = 64;

// Levels of a chain up to this many are counted exactly and checked against the cells' ends;
// beyond, no position can tell one level from the next.
constexpr double kCountedLevels = 0x1p96;

// A count of levels from logarithms closer than this to a whole number is checked on cells.
constexpr double kNearWhole = 1e-6;

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

DoubleDouble at(std::uint64_t j) {
    return DoubleDouble{static_cast<double>(j)};
}

// Where bin end x lies in its own cell, measured from the nearer end so that an end close to
// a cell end keeps its distance to full relative precision. An end that rounding puts outside
// the cell lies on its edge.
BinEnd place(const Node& cell) {
    const DoubleDouble x = at(cell.first);
    // The ends carry errors of a few units of 2^-106 of N already.
    const DoubleDouble fromLeft = looseDifference(x, cell.left);
    const DoubleDouble fromRight = looseDifference(cell.right, x);
    BinEnd end;
    end.fromRight = fromRight < fromLeft;
    end.distance = end.fromRight ? fromRight : fromLeft;
    if (end.distance.hi < 0.0) {
        end.distance = {};
    }
    end.width = cell.width; // divided by in the split, where ends overlap
    end.mass = cell.mass;
    return end;
}

// A branch of a cell that holds bin ends: its index, its left end and the first end it holds.
struct Holder {
    std::size_t branch = 0;
    DoubleDouble left;
    std::uint64_t first = 0;
};

// The branches first .. end - 1 of a cell, with the bin ends they hold, first .. last - 1.
struct Span {
    std::size_t firstBranch = 0;
    std::size_t endBranch = 0;
    std::uint64_t firstEnd = 0;
    std::uint64_t lastEnd = 0;
};

// The cells a part S of branch k passes down the branch: C(M), M levels below S, is
// [L + W x* u, R - W (1 - x*) u] with u = 1 - ℓ^M, and has mass p^M of S's. A level is held as
// λ = M ln ℓ, so that a chain of any length, even where M is beyond the range of doubles,
// is a number of moderate size.
class Chain {
public:
    Chain(const CascadeBranches& branches, std::size_t k, const Node& start)
        : m_runs(branches.runs), m_k(k), m_b(branches.runs.branch(k)), m_start(start),
          m_fixed(looseSum(start.left, start.width * m_b.fixedPoint)) {}

    const RunBranch& branch() const { return m_b; }
    const Node& start() const { return m_start; }
    // The point the chain's cells shrink to: left of it the ends leave by the left ends, right
    // of it by the right ends; one on it never leaves.
    DoubleDouble fixed() const { return m_fixed; }

    // λ of the next level.
    DoubleDouble next(DoubleDouble level) const { return level + m_b.logLengthPrecise; }

    Node cellAt(DoubleDouble level) const {
        const Shrink s = m_runs.shrinkToLevel(m_k, level);
        Node cell = m_start;
        cell.left = looseSum(m_start.left, m_start.width * (m_b.fixedPoint * s.lost));
        cell.right = looseDifference(m_start.right, m_start.width * (m_b.beyondFixed * s.lost));
        cell.width = m_start.width * s.kept;
        cell.mass = m_start.mass * massShare(level.hi + level.lo);
        return cell;
    }

    // The last level that holds end j: for j left of the fixed point the largest M with
    // ℓ^M ≥ (P - j) / (W x*), for j right of it the largest with ℓ^M > (j - P) / (W (1 - x*)).
    // The quotient of logarithms gives M to about 2^-100 of itself; where that leaves it near
    // a whole number, the cells it gives are checked and M moved by one as they tell.
    DoubleDouble lastLevel(std::uint64_t j) const {
        const bool left = at(j) < m_fixed;
        const DoubleDouble gap =
            left ? looseDifference(m_fixed, at(j)) : looseDifference(at(j), m_fixed);
        const DoubleDouble share =
            gap / (m_start.width * (left ? m_b.fixedPoint : m_b.beyondFixed));
        const DoubleDouble logShare = CascadeRuns::logarithm(share);
        const DoubleDouble quotient = logShare / m_b.logLengthPrecise;
        if (!(quotient.hi < kCountedLevels)) {
            return logShare; // no position tells the levels apart here
        }
        DoubleDouble levels = wholePart(quotient);
        const double fraction = ((quotient - levels).hi);
        if (fraction < kNearWhole || fraction > 1.0 - kNearWhole) {
            for (int tries = 0; tries < 4; ++tries) {
                if (levels.hi > 0.0 && !holds(j, levels)) {
                    levels = levels - DoubleDouble{1.0};
                } else if (holds(j, levels + DoubleDouble{1.0})) {
                    levels = levels + DoubleDouble{1.0};
                } else {
                    break;
                }
            }
        }
        return m_b.logLengthPrecise * levels;
    }

    // The mass the levels from `from` to the one before `to` send to one side: at each, the
    // cell's mass times the weights on that side (sideWeight: Σ p_i left or right of k).
    double quiet(DoubleDouble from, DoubleDouble to, double sideWeight) const {
        const double count = (to - from).hi; // (levels) ln ℓ, ≤ 0
        if (!(count < 0.0)) {
            return 0.0;
        }
        const double lost = -std::expm1(count * m_b.massPerLength);
        return m_start.mass * massShare(from.hi + from.lo) * lost * (sideWeight / m_b.others);
    }

private:
    // p^M = (ℓ^M)^(ln p / ln ℓ) for the level λ = M ln ℓ.
    double massShare(double level) const {
        return level == 0.0 ? 1.0 : std::exp(level * m_b.massPerLength);
    }

    bool holds(std::uint64_t j, DoubleDouble levels) const {
        const Node cell = cellAt(m_b.logLengthPrecise * levels);
        return !(at(j) < cell.left) && at(j) < cell.right;
    }

    // The largest whole number at or below x ≥ 0.
    static DoubleDouble wholePart(DoubleDouble x) {
        const double whole = std::floor(x.hi);
        return whole == x.hi ? exactSum(whole, std::floor(x.lo)) : DoubleDouble{whole};
    }

    const CascadeRuns& m_runs;
    std::size_t m_k;
    const RunBranch& m_b;
    Node m_start;
    DoubleDouble m_fixed;
};

class Walk {
public:
    Walk(const CascadeBranches& branches, const WalkRange& range, double* sums, BinEnd* ends)
        : m_branches(branches), m_range(range), m_sums(sums), m_ends(ends) {}

    void run() {
        const DoubleDouble all{static_cast<double>(m_range.bins)};
        Node whole;
        whole.right = all;
        whole.width = all;
        whole.last = m_range.bins;
        if (m_range.bins == 1) {
            addOwn(whole);
        } else {
            m_stack.push_back(whole);
        }
        while (!m_stack.empty()) {
            const Node cell = m_stack.back();
            m_stack.pop_back();
            if (meetsRange(cell)) {
                split(cell, {0, m_branches.count(), cell.first, cell.last}, true);
            }
        }
    }

private:
    // Whether the bins the cell meets, from the one holding its left end to the one holding
    // its right end, meet the range.
    bool meetsRange(const Node& cell) const {
        const std::uint64_t from = std::max<std::uint64_t>(cell.first, 1) - 1;
        return from <= m_range.lastBin && cell.last - 1 >= m_range.firstBin;
    }

    bool inRange(std::uint64_t bin) const {
        return bin >= m_range.firstBin && bin <= m_range.lastBin;
    }

    DoubleDouble leftOf(const Node& cell, std::size_t k) const {
        return k == 0 ? cell.left : looseSum(cell.left, cell.width * m_branches.breaks[k]);
    }

    // The last branch from `from` before `end` whose left end is at or before bin end j, where
    // that of `from` is: by doubling steps, then halving them.
    std::size_t branchHolding(const Node& cell, std::uint64_t j, std::size_t from,
                              std::size_t end) const {
        const DoubleDouble x = at(j);
        std::size_t low = from;
        std::size_t step = 1;
        while (low + step < end && !(x < leftOf(cell, low + step))) {
            low += step;
            step *= 2;
        }
        for (std::size_t high = std::min(low + step, end); high - low > 1;) {
            const std::size_t middle = low + (high - low) / 2;
            (x < leftOf(cell, middle) ? high : low) = middle;
        }
        return low;
    }

    // The branches of the span that hold its bin ends, from left to right, into holders.
    void findHolders(const Node& cell, const Span& span, std::vector<Holder>& holders) const {
        holders.clear();
        std::size_t from = span.firstBranch;
        for (std::uint64_t j = span.firstEnd; j < span.lastEnd;) {
            const std::size_t k = branchHolding(cell, j, from, span.endBranch);
            holders.push_back({k, leftOf(cell, k), j});
            j = k + 1 < span.endBranch ? std::max(j + 1, ceiling(leftOf(cell, k + 1)))
                                       : span.lastEnd;
            j = std::min(j, span.lastEnd);
            from = k + 1;
        }
    }

    // Splits the branches of a span of a cell, the rightmost first so that the leftmost is
    // visited first: a branch holding no bin end lies whole in one bin, a branch holding one
    // end is that end's own cell, and one holding more is split in turn; the branches left of
    // the first end go to the bin left of it, those right of the last to the bin right of it.
    void split(const Node& cell, const Span& span, bool mayChain) {
        // A chain splits cells of its own on the way, so each split has its list; they are
        // kept from one split to the next.
        std::vector<Holder> holders = std::move(m_spareHolders);
        findHolders(cell, span, holders);
        const std::size_t n = m_branches.count();
        std::size_t next = span.endBranch; // the branch right of those still to be seen
        std::uint64_t last = span.lastEnd;
        for (std::size_t h = holders.size(); h-- > 0;) {
            const Holder& holder = holders[h];
            const std::size_t k = holder.branch;
            addWhole(cell, k + 1, next, last - 1);
            const DoubleDouble right = k + 1 < n ? leftOf(cell, k + 1) : cell.right;
            Node part;
            part.left = holder.left;
            part.right = right;
            part.width = cell.width * m_branches.lengths[k];
            part.mass = cell.mass * m_branches.weights[k];
            part.first = holder.first;
            part.last = last;
            if (part.last == part.first + 1) {
                addOwn(part);
            } else if (mayChain && m_branches.runs.branch(k).takesRuns &&
                       (holders.size() == 1 || part.last - part.first >= kChainedEnds)) {
                chain(Chain(m_branches, k, part), k);
            } else {
                m_stack.push_back(part);
            }
            next = k;
            last = holder.first;
        }
        addWhole(cell, span.firstBranch, next, last - 1);
        m_spareHolders = std::move(holders);
    }

    // Branches first .. end - 1 of the cell, holding no bin end, lie whole in that bin.
    void addWhole(const Node& cell, std::size_t first, std::size_t end, std::uint64_t bin) {
        if (first >= end || !inRange(bin)) {
            return;
        }
        double& sum = m_sums[bin - m_range.firstBin];
        if (end - first >= kManyBranches) {
            sum += cell.mass * m_branches.weightOf(first, end - 1);
            return;
        }
        for (std::size_t k = end; k-- > first;) {
            sum += cell.mass * m_branches.weights[k];
        }
    }

    void addToBin(std::uint64_t bin, double mass) {
        if (inRange(bin)) {
            m_sums[bin - m_range.firstBin] += mass;
        }
    }

    void addOwn(const Node& cell) {
        if (cell.first >= m_range.firstEnd && cell.first <= m_range.lastEnd) {
            m_ends[cell.first - m_range.firstEnd] = place(cell);
        }
    }

    // A part S of branch k holding every end of its cell, at least two, where k takes long
    // runs: the cells C(M) it passes down the branch keep its ends but those that leave by
    // their left or right ends, the ends nearest the fixed point last. Each end's last level
    // comes from S alone, the cells passed at the levels in between give the bin beside the
    // chain's outermost end on that side their mass in closed form, and a level where ends
    // leave is split as any cell's branches are, on the side they leave by. So the bins of a
    // range are found in work that grows with the range, not with the chain, and each is the
    // same in any range. The chain ends at the first level holding fewer than two ends: the
    // own cell of the one left, or a cell between the last two.
    void chain(const Chain& c, std::size_t k) {
        const Node& s = c.start();
        const std::uint64_t leftEnd = firstNotLeftOf(s, c.fixed());
        const bool onFixed = leftEnd < s.last && !(c.fixed() < at(leftEnd));
        const std::uint64_t rightStart = onFixed ? leftEnd + 1 : leftEnd;
        // The latest two levels at which ends leave are among the two innermost of each side.
        std::vector<std::pair<DoubleDouble, std::uint64_t>> inner;
        for (std::uint64_t j = leftEnd; j > s.first && j + 2 > leftEnd;) {
            --j;
            inner.emplace_back(c.lastLevel(j), j);
        }
        for (std::uint64_t j = rightStart; j < std::min(s.last, rightStart + 2); ++j) {
            inner.emplace_back(c.lastLevel(j), j);
        }
        std::sort(inner.begin(), inner.end(), [](const auto& a, const auto& b) {
            return a.first < b.first; // λ falls level by level: the latest first
        });
        Ending ending;
        if (onFixed) {
            ending = {c.next(inner[0].first), leftEnd, true};
        } else {
            ending = {c.next(inner[1].first), inner[0].second, inner[0].first < inner[1].first};
        }
        chainSide(c, k, Side::Left, s.first, leftEnd, ending);
        chainSide(c, k, Side::Right, rightStart, s.last, ending);
        Node last = c.cellAt(ending.level);
        if (ending.holdsOne) {
            last.first = ending.end;
            last.last = ending.end + 1;
            addOwn(last);
        } else {
            addToBin(ceiling(last.left) - 1, last.mass); // between the last two ends
        }
    }

    // Where a chain ends: the first level holding fewer than two ends, and the end it holds.
    struct Ending {
        DoubleDouble level;
        std::uint64_t end = 0;
        bool holdsOne = false;
    };
    enum class Side { Left, Right };

    // The first bin end of the part at or right of x.
    static std::uint64_t firstNotLeftOf(const Node& part, DoubleDouble x) {
        std::uint64_t low = part.first;
        std::uint64_t high = part.last;
        while (low < high) {
            const std::uint64_t middle = low + (high - low) / 2;
            if (at(middle) < x) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        return low;
    }

    // The ends [from, to) of a chain that leave by the left ends of its cells, from the
    // leftmost on, or by the right ends, from the rightmost on; of them the ones whose bins
    // or own cells meet the range, with the levels around them.
    void chainSide(const Chain& c, std::size_t k, Side side, std::uint64_t from, std::uint64_t to,
                   const Ending& ending) {
        const bool left = side == Side::Left;
        const double sideWeight = left ? m_branches.before[k] : m_branches.after[k];
        if (from >= to) {
            // No end on this side: every level's cells on it lie between the chain's first
            // (or last) end and its left (or right) end.
            addToBin(left ? from - 1 : to - 1, c.quiet(DoubleDouble{}, ending.level, sideWeight));
            return;
        }
        // The ends that matter: j from firstBin to lastBin + 1.
        const std::uint64_t low = std::max(from, m_range.firstBin);
        const std::uint64_t high = std::min(to, m_range.lastBin + 2);
        if (low >= high) {
            return;
        }
        const std::uint64_t count = to - from;
        // The ith end to leave; the bin beside the side's outermost end; the level it leaves.
        const auto nth = [&](std::uint64_t i) { return left ? from + i : to - 1 - i; };
        const auto outerBin = [&](std::uint64_t j) { return left ? j - 1 : j; };
        const std::uint64_t alone = ending.holdsOne ? ending.end : to;
        LevelsOf levels(c, nth);
        std::uint64_t i = left ? low - from : to - high;
        const std::uint64_t stop = left ? high - from : to - low;
        // The place of the end held alone at the chain's end, count if it is not on this side.
        const std::uint64_t lone =
            alone >= from && alone < to ? (left ? alone - from : to - 1 - alone) : count;
        // Back to the first end leaving at the same level, so that a level is split whole.
        if (i != lone) {
            i = levels.firstSame(i, lone < i ? lone : 0);
        }
        DoubleDouble since = i == 0 ? DoubleDouble{} : c.next(levels[i - 1]);
        for (; i < count && i < stop;) {
            const std::uint64_t j = nth(i);
            if (j == alone) {
                addToBin(outerBin(j), c.quiet(since, ending.level, sideWeight));
                return;
            }
            addToBin(outerBin(j), c.quiet(since, levels[i], sideWeight));
            // The ends leaving at this level with j: i .. g - 1.
            const std::uint64_t g =
                levels.lastSame(i, lone > i ? std::min(lone, count) : count) + 1;
            const std::uint64_t a = std::min(j, nth(g - 1));
            const std::uint64_t b = std::max(j, nth(g - 1)) + 1;
            Node cell = c.cellAt(levels[i]);
            cell.first = a;
            cell.last = b;
            split(cell, left ? Span{0, k, a, b} : Span{k + 1, m_branches.count(), a, b}, false);
            since = c.next(levels[i]);
            i = g;
        }
        if (i == count) {
            // All of this side gone: the rest of the chain's levels go to the bin beside it.
            addToBin(left ? nth(count - 1) : nth(count - 1) - 1,
                     c.quiet(since, ending.level, sideWeight));
        }
    }

    // The last levels of the ends of one side of a chain, each found once.
    template <typename Nth> class LevelsOf {
    public:
        LevelsOf(const Chain& c, const Nth& nth) : m_chain(c), m_nth(nth) {}
        DoubleDouble operator[](std::uint64_t i) {
            if (!m_known.contains(i)) {
                m_known.emplace(i, m_chain.lastLevel(m_nth(i)));
            }
            return m_known.at(i);
        }
        bool same(std::uint64_t i, std::uint64_t g) {
            const DoubleDouble a = (*this)[i];
            const DoubleDouble b = (*this)[g];
            return !(a < b) && !(b < a);
        }
        // The ends leave in order, their levels falling with i, so those leaving with the ith
        // are a run around it: found by doubling steps, then halving them, with a few last
        // levels each however many ends leave at one level (millions may, where bins are
        // narrower than a short branch beside a long one).
        // The last g < end with end i .. g leaving together.
        std::uint64_t lastSame(std::uint64_t i, std::uint64_t end) {
            std::uint64_t low = i;
            std::uint64_t step = 1;
            while (low + step < end && same(i, low + step)) {
                low += step;
                step *= 2;
            }
            for (std::uint64_t high = std::min(low + step, end); high - low > 1;) {
                const std::uint64_t middle = low + (high - low) / 2;
                (same(i, middle) ? low : high) = middle;
            }
            return low;
        }
        // The first g ≥ floor with ends g .. i leaving together.
        std::uint64_t firstSame(std::uint64_t i, std::uint64_t floor) {
            std::uint64_t high = i;
            std::uint64_t step = 1;
            while (high - floor >= step && same(high - step, i)) {
                high -= step;
                step *= 2;
            }
            const std::uint64_t low = high - floor >= step ? high - step : floor;
            if (low == floor && low < high && same(low, i)) {
                return low;
            }
            for (std::uint64_t below = low; high - below > 1;) {
                const std::uint64_t middle = below + (high - below) / 2;
                (same(middle, i) ? high : below) = middle;
            }
            return high;
        }

    private:
        const Chain& m_chain;
        const Nth& m_nth;
        std::map<std::uint64_t, DoubleDouble> m_known;
    };

    const CascadeBranches& m_branches;
    const WalkRange& m_range;
    double* m_sums;
    BinEnd* m_ends;
    std::vector<Node> m_stack;
    std::vector<Holder> m_spareHolders;
};

} // namespace

void walkCells(const CascadeBranches& branches, const WalkRange& range, double* sums,
               BinEnd* ends) {
    Walk(branches, range, sums, ends).run();
}

} // namespace veltrane
