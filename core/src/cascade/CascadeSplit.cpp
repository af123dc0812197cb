#include "CascadeSplit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

namespace veltrane {

namespace {

// The split stops once the mass left undivided is below this fraction of the smaller bin
// beside the end; what is left is shared in proportion to length, which errs by a fraction
// of it.
constexpr double kTruncation = 0x1p-50;

// While the mass undivided is above this fraction of the smaller bin, the position carries
// 106 bits.
constexpr double kPrecise = 0x1p-10;

// Ends split side by side, so that the processor overlaps their chains of dependent
// divisions.
constexpr std::size_t kLanes = 8;

// Nearly every end takes two wide steps before the mass undivided falls below kPrecise of the
// smaller bin, so these are taken without a check; the narrow steps are checked every two.
// Each check that stops a lane is a branch the processor mispredicts, discarding the work
// it had begun on the other lanes, while a step more only refines an end.
constexpr int kFirstWideSteps = 2;
constexpr int kNarrowStepsBetweenChecks = 2;

// A bound on the steps of one end in one pass, which no measure tried comes near since the
// long runs of a branch are taken in one step: the rest is then shared in proportion to
// length.
constexpr int kMostSteps = 1 << 20;

// A position closer than this to its cell's end, which only a branch within a subnormal of the
// whole length brings an end to, is taken as on it: products of such numbers lose their bits.
constexpr double kSmallestPosition = 0x1p-960;

// ln 2^-960: products of doubles keep their 106 bits above about 2^-969.
constexpr double kLogSmallestKept = -665.4212933375475;

constexpr std::size_t kMostCells = 1024;
constexpr double kFarthestStart = 0.75;
constexpr int kFirstSlotBits = 4;
constexpr int kLastSlotBits = 14;

// The low end of branch k in the frame's order.
DoubleDouble lowEnd(const CascadeBranches& b, std::size_t k, bool fromRight) {
    return fromRight ? exactSum(1.0, -b.breaks[b.count() - k]) : DoubleDouble{b.breaks[k]};
}

} // namespace

// One end being split.
template <typename Position> struct CascadeSplit::Lane {
    Position t{};          // the distance from the nearer end of the current cell
    std::size_t frame = 0; // 1 when that end is the right one
    double mass = 0.0;     // of the current cell
    double left = 0.0;     // the split's parts of the bins to the left and right so far
    double right = 0.0;
    double leftBin = 0.0; // the rest of those bins
    double rightBin = 0.0;
    int steps = 0;
    BinEnd* end = nullptr;

    void load(BinEnd& e) {
        if constexpr (std::is_same_v<Position, DoubleDouble>) {
            t = e.distance;
        } else {
            t = e.distance.hi + e.distance.lo;
        }
        frame = e.fromRight ? 1 : 0;
        mass = e.mass;
        left = e.head;
        right = e.tail;
        leftBin = e.leftBin;
        rightBin = e.rightBin;
        steps = 0;
        end = &e;
    }
    void store() const {
        end->distance = DoubleDouble{t};
        end->fromRight = frame == 1;
        end->mass = mass;
        end->head = left;
        end->tail = right;
    }
    // Whether the mass undivided is still above fraction of the smaller bin, as far as it is
    // known; without a branch on which bin that is.
    bool going(double fraction) const {
        const double l = leftBin + left;
        const double r = rightBin + right;
        const double smaller = l < r ? l : r;
        return static_cast<bool>(static_cast<int>(position() > kSmallestPosition) &
                                 static_cast<int>(mass > fraction * smaller) &
                                 static_cast<int>(steps < kMostSteps));
    }
    double position() const {
        if constexpr (std::is_same_v<Position, DoubleDouble>) {
            return t.hi;
        } else {
            return t;
        }
    }
    // Hands the cells passed over to their bins and takes the cell holding the position.
    void enter(const Cell& cell, bool flip) {
        left += mass * cell.toLeft;
        right += mass * cell.toRight;
        mass *= cell.weight;
        frame ^= static_cast<std::size_t>(flip);
        ++steps;
    }
};

CascadeSplit::CascadeSplit(const CascadeBranches& branches) : m_runs(&branches.runs) {
    const std::size_t n = branches.count();
    for (std::size_t cells = n; cells * n <= kMostCells; cells *= n) {
        ++m_depth;
    }
    for (const bool fromRight : {false, true}) {
        Frame& frame = m_frames[fromRight ? 1 : 0];
        std::vector<std::size_t> uniform;
        frame.cells = cellsOf(branches, fromRight, m_depth, uniform);
        std::size_t found = 0;
        for (std::size_t c = 0; c + 1 < frame.cells.size() && found < 2; ++c) {
            if (uniform[c] != kMixed && branches.runs.branch(uniform[c]).takesRuns) {
                frame.runCells[found] = c;
                frame.runBranches[found++] = uniform[c];
            }
        }
        for (std::size_t c = 0; c + 1 < frame.cells.size(); ++c) {
            const Cell& cell = frame.cells[c];
            frame.inverses.push_back(cell.length.hi > 0.0 ? DoubleDouble{1.0} / cell.length
                                                          : DoubleDouble{});
            frame.starts.push_back(cell.low.lo > 0.0 ? std::nextafter(cell.low.hi, 1.0)
                                                     : cell.low.hi);
        }
        frame.starts.insert(frame.starts.end(), 3, std::numeric_limits<double>::infinity());
        frame.layGrid();
    }
    // An end at 0 stays at 0: each wide step takes the frame's first cell, or holds it at the
    // fixed point 0 of a first branch taking runs, the same for any mass.
    BinEnd unit;
    unit.mass = 1.0;
    Lane<DoubleDouble> lane;
    lane.load(unit);
    step(lane);
    m_edgeToRight = lane.right;
    m_edgeWeight = lane.mass;
}

double CascadeSplit::fromLeftEnd(double mass) const {
    double right = 0.0;
    for (int round = 0; round < kFirstWideSteps; ++round) {
        right += mass * m_edgeToRight;
        mass *= m_edgeWeight;
    }
    // settle shares what is left in proportion to length: all of it lies beyond 0.
    return right + mass;
}

std::vector<CascadeSplit::Cell> CascadeSplit::cellsOf(const CascadeBranches& branches,
                                                      bool fromRight, unsigned depth,
                                                      std::vector<std::size_t>& uniform) {
    const std::size_t n = branches.count();
    std::vector<Cell> cells = {{{}, {1.0}, 0.0, 1.0, 0.0, 0.0}, {{1.0}, {}, 0.0, 0.0, 0.0, 0.0}};
    uniform.assign(2, kMixed);
    for (unsigned level = 0; level < depth; ++level) {
        std::vector<Cell> next;
        std::vector<std::size_t> nextUniform;
        for (std::size_t c = 0; c + 1 < cells.size(); ++c) {
            const Cell& cell = cells[c];
            for (std::size_t k = 0; k < n; ++k) {
                const std::size_t b = fromRight ? n - 1 - k : k;
                nextUniform.push_back(level == 0 || uniform[c] == b ? b : kMixed);
                Cell part;
                part.low =
                    k == 0 ? cell.low : cell.low + cell.length * lowEnd(branches, k, fromRight);
                part.length = cell.length * branches.lengths[b];
                part.slack = part.length.hi > 0.0 ? part.length.lo / part.length.hi : 0.0;
                part.weight = cell.weight * branches.weights[b];
                part.toLeft = cell.toLeft + cell.weight * branches.before[b];
                part.toRight = cell.toRight + cell.weight * branches.after[b];
                next.push_back(part);
                if (!(part.low.hi < kFarthestStart)) {
                    break; // it closes the cell before, and no position lies in it
                }
            }
            if (!(next.back().low.hi < kFarthestStart)) {
                break;
            }
        }
        if (next.back().low.hi < kFarthestStart) {
            next.push_back(cells.back()); // the cell that closed the level before
            nextUniform.push_back(kMixed);
        }
        cells = std::move(next);
        uniform = std::move(nextUniform);
    }
    return cells;
}

void CascadeSplit::Frame::layGrid() {
    for (int e = kFirstSlotBits;; ++e) {
        slotsPerUnit = std::ldexp(1.0, e);
        grid.clear();
        bool sparse = true;
        std::uint32_t c = 0;
        for (double s = 0.0; s <= kFarthestStart * slotsPerUnit; s += 1.0) {
            // s and s + 1 over 2^e are exact, as is any t times 2^e: slot s holds exactly
            // the positions in [s, s + 1) / 2^e.
            while (starts[c + 1] <= s / slotsPerUnit) {
                ++c;
            }
            grid.push_back(c);
            sparse = sparse && starts[c + 3] >= (s + 1.0) / slotsPerUnit;
        }
        lastSlot = static_cast<std::int64_t>(grid.size()) - 1;
        if (sparse || e == kLastSlotBits) {
            return;
        }
    }
}

inline std::size_t CascadeSplit::Frame::cellAt(double t) const {
    if (t == 0.0) {
        // An end on the frame's end lies in the first cell, even where the low ends of the
        // cells after it are below the range of doubles and read as 0 too.
        return 0;
    }
    const std::int64_t slot = std::min(static_cast<std::int64_t>(t * slotsPerUnit), lastSlot);
    std::size_t c = grid[static_cast<std::size_t>(slot)];
    c +=
        static_cast<std::size_t>(t >= starts[c + 1]) + static_cast<std::size_t>(t >= starts[c + 2]);
    while (t >= starts[c + 1]) { // a slot with more than two low ends
        ++c;
    }
    return c;
}

inline std::size_t CascadeSplit::Frame::cellAt(DoubleDouble t) const {
    if (t.hi == 0.0) {
        return 0; // as for a double
    }
    std::size_t c = cellAt(t.hi);
    while (c > 0 && t < cells[c].low) {
        --c;
    }
    while (c + 2 < cells.size() && !(t < cells[c + 1].low)) {
        ++c;
    }
    return c;
}

namespace {

DoubleDouble asDoubleDouble(DoubleDouble x) {
    return x;
}
DoubleDouble asDoubleDouble(double x) {
    return DoubleDouble{x};
}
template <typename Position> Position fromDoubleDouble(DoubleDouble x) {
    if constexpr (std::is_same_v<Position, DoubleDouble>) {
        return x;
    } else {
        return x.hi + x.lo;
    }
}

} // namespace

// In units of the current cell the end lies at x = x* + d; while it stays in branch k, each
// level divides d by ℓ, and it stays there for the levels m with -x* ≤ d / ℓ^m < 1 - x*.
// The end is then at x* + d / ℓ^m of the cell m levels down, measured again from its nearer
// end.
template <typename Position> bool CascadeSplit::run(Lane<Position>& lane, std::size_t k) const {
    const RunBranch& b = m_runs->branch(k);
    const DoubleDouble t = asDoubleDouble(lane.t);
    const DoubleDouble d =
        lane.frame == 0 ? looseDifference(t, b.fixedPoint) : looseDifference(b.beyondFixed, t);
    if (d.hi == 0.0) { // at the fixed point for ever
        const RunMass mass = m_runs->mass(k, std::numeric_limits<double>::infinity());
        lane.left += lane.mass * mass.toLeft;
        lane.right += lane.mass * mass.toRight;
        lane.mass = 0.0;
        ++lane.steps;
        return true;
    }
    // A little short of the bound, and no further than ℓ^m = 2^-960, where products of
    // doubles still keep their 106 bits.
    const DoubleDouble bound = d.hi > 0.0 ? d / b.beyondFixed : -d / b.fixedPoint;
    const double logKept = std::max(logOf(bound) * (1.0 - 1e-9), kLogSmallestKept);
    const double levels = std::floor(logKept / b.logLength) - 1.0;
    if (!(levels >= kLongRun)) {
        return false;
    }
    const bool counted = levels <= kMostCountedLevels;
    const Shrink s = counted ? m_runs->shrink(k, levels) : CascadeRuns::shrinkTo(logKept);
    const DoubleDouble offset = d / s.kept;
    const bool nearLeft = looseSum(b.fixedPoint, offset).hi <= 0.5;
    const DoubleDouble place =
        nearLeft ? looseSum(b.fixedPoint, offset) : looseDifference(b.beyondFixed, offset);
    if (!(place.hi >= 0.0)) {
        return false; // rounding put the end outside the cell: level by level instead
    }
    const RunMass mass = counted ? m_runs->mass(k, levels) : m_runs->massTo(k, logKept);
    lane.left += lane.mass * mass.toLeft;
    lane.right += lane.mass * mass.toRight;
    lane.mass *= mass.kept;
    lane.t = fromDoubleDouble<Position>(place);
    lane.frame = nearLeft ? 0 : 1;
    ++lane.steps;
    return true;
}

inline void CascadeSplit::step(Lane<DoubleDouble>& lane) const {
    const Frame& frame = m_frames[lane.frame];
    const std::size_t c = frame.cellAt(lane.t);
    if ((c == frame.runCells[0] && run(lane, frame.runBranches[0])) ||
        (c == frame.runCells[1] && run(lane, frame.runBranches[1]))) {
        return;
    }
    const Cell& cell = frame.cells[c];
    // The position and the cell ends carry errors of a few units of 2^-106 already.
    const DoubleDouble fromLow = looseDifference(lane.t, cell.low);
    const DoubleDouble toHigh = looseDifference(frame.cells[c + 1].low, lane.t);
    const bool flip = toHigh < fromLow;
    lane.enter(cell, flip);
    const DoubleDouble d = {flip ? toHigh.hi : fromLow.hi, flip ? toHigh.lo : fromLow.lo};
    lane.t = d * frame.inverses[c];
}

inline void CascadeSplit::step(Lane<double>& lane) const {
    const Frame& frame = m_frames[lane.frame];
    const std::size_t c = frame.cellAt(lane.t);
    if ((c == frame.runCells[0] && run(lane, frame.runBranches[0])) ||
        (c == frame.runCells[1] && run(lane, frame.runBranches[1]))) {
        return;
    }
    const Cell& cell = frame.cells[c];
    const Cell& next = frame.cells[c + 1];
    const double fromLow = (lane.t - cell.low.hi) - cell.low.lo;
    const double toHigh = (next.low.hi - lane.t) + next.low.lo;
    const bool flip = toHigh < fromLow;
    lane.enter(cell, flip);
    const double q = (flip ? toHigh : fromLow) / cell.length.hi;
    lane.t = q - q * cell.slack;
}

void CascadeSplit::finish(BinEnd* ends, std::size_t count, double truncation) const {
    std::array<Lane<double>, kLanes> lanes;
    std::size_t live = 0;
    std::size_t next = 0;
    // Fills lanes[i] with the next end that still goes on; false when none is left.
    const auto refill = [&](std::size_t i) {
        while (next < count) {
            lanes[i].load(ends[next++]);
            if (lanes[i].going(truncation)) {
                return true;
            }
        }
        return false;
    };
    while (live < kLanes && refill(live)) {
        ++live;
    }
    while (live > 0) {
        for (int round = 0; round < kNarrowStepsBetweenChecks; ++round) {
            for (std::size_t i = 0; i < live; ++i) {
                step(lanes[i]);
            }
        }
        for (std::size_t i = 0; i < live;) {
            if (lanes[i].going(truncation)) {
                ++i;
                continue;
            }
            lanes[i].store();
            if (refill(i)) {
                ++i;
            } else {
                lanes[i] = lanes[--live];
            }
        }
    }
}

void CascadeSplit::start(BinEnd* ends, std::size_t count) const {
    std::array<Lane<DoubleDouble>, kLanes> lanes;
    for (std::size_t first = 0; first < count; first += kLanes) {
        const std::size_t live = std::min(kLanes, count - first);
        for (std::size_t i = 0; i < live; ++i) {
            BinEnd& end = ends[first + i];
            lanes[i].load(end);
            lanes[i].t = end.distance / end.width;
            end.width = DoubleDouble{1.0};
        }
        for (int round = 0; round < kFirstWideSteps; ++round) {
            for (std::size_t i = 0; i < live; ++i) {
                step(lanes[i]);
            }
        }
        for (std::size_t i = 0; i < live; ++i) {
            while (lanes[i].going(kPrecise)) { // seldom, so on one lane at a time
                step(lanes[i]);
            }
            lanes[i].store();
        }
    }
}

void CascadeSplit::settle(BinEnd* ends, std::size_t count) const {
    settle(ends, count, kTruncation);
}

void CascadeSplit::settle(BinEnd* ends, std::size_t count, double truncation) const {
    start(ends, count);
    finish(ends, count, truncation);
    // What is left undivided is shared in proportion to length.
    for (std::size_t i = 0; i < count; ++i) {
        BinEnd& end = ends[i];
        const double at = end.distance.hi + end.distance.lo;
        const double nearSide = end.mass * at;
        const double farSide = end.mass * (1.0 - at);
        end.head += end.fromRight ? farSide : nearSide;
        end.tail += end.fromRight ? nearSide : farSide;
    }
}

} // namespace veltrane
