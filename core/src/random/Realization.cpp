#include "CellDraw.h"
#include "Compensated.h"
#include "DoubleDouble.h"
#include "Levels.h"
#include "ModelData.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>
#include <veltrane/cascade.h>
#include <veltrane/errors.h>
#include <veltrane/random.h>
#include <veltrane/text.h>

namespace veltrane {

using detail::CellIndex;
using detail::CellStream;
using detail::Children;
using detail::drawChildren;
using detail::DrawTables;

namespace {

// Bins computed between two looks at the cancel flag; also the cells a level at a time fills
// together.
constexpr std::size_t kBinBlock = 4096;

// A cell holding a bin end is shared in proportion to length once its mass is below this part
// of the bin's mass found so far: the part of a bin so placed is below 2^-50 of it.
constexpr double kNegligible = 0x1p-50;

// A bin end is followed down at most this many levels; a bin that needs more is refused
// rather than shared in proportion below them. Only generator lists that leave most cells
// unsplit, or split them into one branch of almost all the length and weight, come near it.
constexpr unsigned kMaxDepth = 1U << 16;

// J with b^J = N, if there is one.
std::optional<unsigned> exactLevel(unsigned b, std::uint64_t bins) {
    unsigned level = 0;
    std::uint64_t p = 1;
    while (p < bins) {
        if (p > bins / b) {
            return std::nullopt;
        }
        p *= b;
        ++level;
    }
    return p == bins ? std::optional<unsigned>(level) : std::nullopt;
}

// The least J with b^J ≥ N.
unsigned levelCovering(unsigned b, std::uint64_t bins) {
    unsigned level = 0;
    for (std::uint64_t p = 1; p<bins; p = p> bins / b ? bins : p * b) {
        ++level;
    }
    return level;
}

} // namespace

struct RandomCascade::State {
    State(RandomModel m, std::uint64_t s, std::uint64_t r)
        : model(std::move(m)), seed(s), realization(r), tables(model.data()) {
        const auto& data = model.data();
        if (data.kind == RandomModel::Kind::Generators && data.generators.size() == 1 &&
            !data.generators.front().breakPoints.empty()) {
            const auto& g = data.givenGenerators.front();
            single.emplace(g.breakPoints, g.weights);
        }
        for (const auto& g : data.generators) {
            std::vector<double> ends(g.breakPoints);
            ends.insert(ends.begin(), 0.0);
            ends.push_back(1.0);
            generatorEnds.push_back(std::move(ends));
        }
    }
    RandomModel model;
    std::uint64_t seed;
    std::uint64_t realization;
    DrawTables tables;
    // A list of one generator is the deterministic cascade of that generator.
    std::optional<Cascade> single;
    // Each generator's branch ends 0, B_1, ..., 1.
    std::vector<std::vector<double>> generatorEnds;
};

namespace {

using State = RandomCascade::State;

// For each level m ≤ J, the first and the last cell of level m above the level-J cells
// first .. first + count - 1, count ≥ 1: a walk visits the cells between them only.
void spanLevels(unsigned base, unsigned level, std::uint64_t first, std::size_t count,
                std::vector<std::uint64_t>& firstAt, std::vector<std::uint64_t>& lastAt) {
    firstAt.assign(level + 1, 0);
    lastAt.assign(level + 1, 0);
    firstAt[level] = first;
    lastAt[level] = first + count - 1;
    for (unsigned m = level; m > 0; --m) {
        firstAt[m - 1] = firstAt[m] / base;
        lastAt[m - 1] = lastAt[m] / base;
    }
}

// The level-J cells j = first .. first + out.size() - 1 of a b-adic law, a level at a time:
// the cells of level m above them, then their children, each parent's draw made once. Each
// pass over a level is a loop of independent cells, which the processor overlaps. Step is
// the law's: a Value a cell carries (its mass or the log of it), the root's, a parent's draw
// of its children's weights, a child's Value, and the level-J cell's mass.
template <typename Step>
void fillLevels(const State& state, unsigned level, std::uint64_t first, std::span<double> out,
                const Step& step, const detail::LevelSink* sink = nullptr) {
    using Value = typename Step::Value;
    const unsigned base = state.model.base();
    std::vector<std::uint64_t> firstAt;
    std::vector<std::uint64_t> lastAt;
    spanLevels(base, level, first, out.size(), firstAt, lastAt);
    std::vector<Value> parents{step.root()};
    std::vector<Value> children;
    std::vector<double> masses; // a level's, for the sink
    detail::Weights weights;
    for (unsigned m = 0; m < level; ++m) {
        const bool last = m + 1 == level;
        children.resize(last ? 0 : static_cast<std::size_t>(lastAt[m + 1] - firstAt[m + 1] + 1));
        // Two siblings of a dyadic law whose children all lie in the range, each taking its two
        // weights from its half of their pair block: the commonest case, taken without a
        // stream when no deviate leaves the ziggurat's layers.
        const auto tookFour = [&](std::uint64_t p, const CellStream::Block& pair) {
            if constexpr (Step::kFourFromPair) {
                const std::uint64_t c = 2 * p;
                if (!(base == 2 && p % 2 == 0 && p < lastAt[m] && c >= firstAt[m + 1] &&
                      c + 3 <= lastAt[m + 1])) {
                    return false;
                }
                const std::size_t at = static_cast<std::size_t>(p - firstAt[m]);
                std::array<Value, 4> four;
                if (!step.drawFour(pair, parents[at], parents[at + 1], four)) {
                    return false;
                }
                for (std::size_t i = 0; i < 4; ++i) {
                    if (last) {
                        out[static_cast<std::size_t>(c + i - first)] = step.mass(four[i]);
                    } else {
                        children[static_cast<std::size_t>(c + i - firstAt[m + 1])] = four[i];
                    }
                }
                return true;
            } else {
                return false;
            }
        };
        CellStream::Block pair{};
        for (std::uint64_t p = firstAt[m]; p <= lastAt[m]; ++p) {
            if (state.tables.ownBlocks) {
                CellStream stream(state.seed, state.realization, m, p, CellStream::OwnBlocks{});
                step.draw(stream, weights);
            } else {
                if (p == firstAt[m] || p % 2 == 0) {
                    pair = CellStream::pairBlock(state.seed, state.realization, m, p);
                }
                if constexpr (Step::kFourFromPair) {
                    if (tookFour(p, pair)) {
                        ++p;
                        continue;
                    }
                }
                CellStream stream(state.seed, state.realization, m, p, pair);
                step.draw(stream, weights);
            }
            const Value parent = parents[static_cast<std::size_t>(p - firstAt[m])];
            const std::uint64_t from = std::max(p * base, firstAt[m + 1]);
            const std::uint64_t to = std::min(p * base + base - 1, lastAt[m + 1]);
            for (std::uint64_t c = from; c <= to; ++c) {
                const Value child = step.child(parent, weights[c - p * base]);
                if (last) {
                    out[static_cast<std::size_t>(c - first)] = step.mass(child);
                } else {
                    children[static_cast<std::size_t>(c - firstAt[m + 1])] = child;
                }
            }
        }
        if (sink != nullptr) {
            if (last) {
                (*sink)(m + 1, out);
            } else {
                masses.resize(children.size());
                std::transform(children.begin(), children.end(), masses.begin(),
                               [&](const Value& v) { return step.massAt(v, m + 1); });
                (*sink)(m + 1, masses);
            }
        }
        parents.swap(children);
    }
}

// Laws whose cells carry their masses, products of weights taken from the top.
template <void (*Draw)(const DrawTables&, CellStream&, detail::Weights&)> struct ProductStep {
    using Value = double;
    static constexpr bool kFourFromPair = false;
    const DrawTables& tables;
    static double root() { return 1.0; }
    void draw(CellStream& stream, detail::Weights& w) const { Draw(tables, stream, w); }
    static double child(double parent, double weight) { return parent * weight; }
    static double mass(double value) { return value; }
    static double massAt(double value, unsigned /*level*/) { return value; }
};

// The log-normal law: the product of a cell's J weights b^-1 e^(σ N_i - σ²/2) is formed as
// b^-J e^L, L = Σ (σ N_i - σ²/2) carried to 106 bits (each term rounded twice), so that a
// cell costs one exponential rather than one for each weight, and is within a few units of
// 2^-53 of the product of its exact weights. b^-J is exact for b a power of 2, one rounding
// otherwise. The draw leaves the terms σ N_i - σ²/2 in place of the weights.
struct LogNormalStep {
    using Value = DoubleDouble;
    static constexpr bool kFourFromPair = true;
    const DrawTables& tables;
    std::vector<double> scales; // b^-m for each level m
    static DoubleDouble root() { return {}; }
    void draw(CellStream& stream, detail::Weights& w) const {
        for (unsigned c = 0; c < tables.data->base; ++c) {
            w[c] = tables.sigma * stream.normal() - tables.halfSigma2;
        }
    }
    // For b = 2, the children of the siblings 2k and 2k + 1 (Values a and b) from their pair
    // block, as draw and child form them, when each of the four deviates is its word's own
    // (CellStream::normal's first test); false, leaving four alone, when one is not.
    bool drawFour(const CellStream::Block& block, DoubleDouble a, DoubleDouble b,
                  std::array<DoubleDouble, 4>& four) const {
        const detail::Ziggurat& z = detail::ziggurat();
        std::array<double, 4> terms{};
        bool inside = true;
        for (std::size_t i = 0; i < 4; ++i) {
            const std::uint64_t w = block[i];
            const double u = 2.0 * CellStream::unit(w) - 1.0;
            const auto layer = static_cast<unsigned>(w & 0x7F);
            inside &= u < z.ratio[layer] && -u < z.ratio[layer];
            terms[i] = tables.sigma * (u * z.x[layer]) - tables.halfSigma2;
        }
        if (!inside) {
            return false;
        }
        four = {child(a, terms[0]), child(a, terms[1]), child(b, terms[2]), child(b, terms[3])};
        return true;
    }
    static DoubleDouble child(DoubleDouble parent, double term) {
        const DoubleDouble sum = exactSum(parent.hi, term);
        return exactSumOrdered(sum.hi, sum.lo + parent.lo);
    }
    double mass(DoubleDouble logMass) const { return massAt(logMass, scales.size() - 1); }
    double massAt(DoubleDouble logMass, std::size_t level) const {
        return std::exp(logMass.hi) * (1.0 + logMass.lo) * scales[level];
    }
};

// The level-J cells of the law of state, each law's draw inlined; with a sink, every level's
// cells handed to it on the way.
void fillLevel(const State& state, unsigned level, std::uint64_t first, std::span<double> out,
               const detail::LevelSink* sink = nullptr) {
    const DrawTables& tables = state.tables;
    switch (state.model.kind()) {
    case RandomModel::Kind::LogNormal: {
        std::vector<double> scales(level + 1);
        for (unsigned m = 0; m <= level; ++m) {
            scales[m] = std::pow(static_cast<double>(state.model.base()), -static_cast<double>(m));
        }
        fillLevels(state, level, first, out, LogNormalStep{tables, std::move(scales)}, sink);
        return;
    }
    case RandomModel::Kind::TwoValued:
        fillLevels(state, level, first, out, ProductStep<detail::drawTwoValued>{tables}, sink);
        return;
    case RandomModel::Kind::Permutation:
        fillLevels(state, level, first, out, ProductStep<detail::drawPermutation>{tables}, sink);
        return;
    case RandomModel::Kind::Dirichlet:
        fillLevels(state, level, first, out, ProductStep<detail::drawDirichlet>{tables}, sink);
        return;
    case RandomModel::Kind::Generators:
        break;
    }
    throw RuntimeError(ErrorKind::Internal, "a generator list has no level of equal cells");
}

} // namespace

void detail::forEachLevel(const RandomCascade& cascade, unsigned levels, const LevelSink& sink) {
    const State& state = cascade.state();
    const unsigned base = state.model.base();
    std::uint64_t cells = 1;
    for (unsigned m = 0; m < levels; ++m) {
        cells *= base;
    }
    std::vector<double> out(static_cast<std::size_t>(cells));
    const double root = 1.0;
    sink(0, {&root, 1});
    if (levels > 0) {
        fillLevel(state, levels, 0, out, &sink);
    }
}

namespace {

// A level no realization stops at: conservative laws without a stop.
constexpr unsigned kNever = std::numeric_limits<unsigned>::max();

// The mass of a cell that lies whole in a bin: its product of weights, or for a canonical law
// stopped deeper than the cell, the sum of its descendants at the stop.
double wholeMass(const State& state, unsigned level, CellIndex index, double mass, unsigned stop,
                 Children& children, const std::atomic<bool>* cancel) {
    if (state.model.conservative() || level >= stop || mass == 0.0) {
        return mass;
    }
    // A cell far above the stop holds many cells: a run asked to stop can stop within it.
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
        throw Cancelled();
    }
    CellStream stream =
        detail::cellStream(state.tables, state.seed, state.realization, level, index);
    drawChildren(state.tables, stream, children);
    const detail::Weights weights = children.buffer;
    const unsigned base = state.model.base();
    PositiveSum sum;
    for (unsigned c = 0; c < base; ++c) {
        sum.add(wholeMass(state, level + 1, index * base + c, mass * weights[c], stop, children,
                          cancel));
    }
    return sum.value();
}

// j / N to 106 bits.
DoubleDouble ratio(std::uint64_t j, std::uint64_t bins) {
    const auto x = static_cast<double>(j);
    const auto n = static_cast<double>(bins);
    const double hi = x / n;
    return exactSumOrdered(hi, std::fma(-hi, n, x) / n);
}

DoubleDouble clampUnit(DoubleDouble x) {
    if (x.hi < 0.0) {
        return {};
    }
    if (1.0 < x) {
        return {1.0, 0.0};
    }
    return x;
}

// The ends of a bin within a b-adic cell, as exact remainders: the bin covers [lo, hi] / N of
// the cell, 0 ≤ lo < hi ≤ N, and of its child c the part [b lo - c N, b hi - c N] clamped to
// [0, N], so that no end is ever rounded.
struct AdicEnds {
    using End = std::int64_t;
    std::int64_t n;
    unsigned base;
    // The deepest level whose cells are numbered by position within 128 bits: b^level ≤
    // 2^128 - 1.
    unsigned exact;
    unsigned deepest = kMaxDepth;

    AdicEnds(std::uint64_t bins, unsigned b)
        : n(static_cast<std::int64_t>(bins)), base(b), exact(levelsWithin(b, ~CellIndex{0})) {}
    // The deepest level of at most most cells, b ≥ 2.
    static unsigned levelsWithin(unsigned b, CellIndex most) {
        unsigned levels = 0;
        for (CellIndex cells = 1; cells <= most / b; cells *= b) {
            ++levels;
        }
        return levels;
    }
    // Below the deepest level numbered within 128 bits, a cell is numbered by its path, as a
    // generator list's cells are.
    CellIndex child(const State& state, unsigned level, CellIndex parent, unsigned c) const {
        return level <= exact
                   ? parent * base + c
                   : CellStream::childOnPath(state.seed, state.realization, level, parent, c);
    }

    std::pair<End, End> root(std::uint64_t j) const {
        return {static_cast<End>(j), static_cast<End>(j) + 1};
    }
    double share(End lo, End hi) const {
        return static_cast<double>(hi - lo) / static_cast<double>(n);
    }
    bool whole(End lo, End hi) const { return lo == 0 && hi == n; }
    // visit(c, lo, hi) for each child c of the cell the bin meets.
    template <typename Visit> void children(const Children&, End lo, End hi, Visit&& visit) const {
        for (unsigned c = 0; c < base; ++c) {
            const End from = std::clamp<End>(lo * base - static_cast<End>(c) * n, 0, n);
            const End to = std::clamp<End>(hi * base - static_cast<End>(c) * n, 0, n);
            if (from < to) {
                visit(c, from, to);
            }
        }
    }
};

// The ends of a bin within a cell of a generator list, as positions relative to the cell to
// 106 bits, as the deterministic cascade carries them; the children are the drawn generator's
// branches.
struct GeneratorEnds {
    using End = DoubleDouble;
    std::uint64_t bins;
    const std::vector<std::vector<double>>& ends;
    unsigned deepest = kMaxDepth;

    static CellIndex child(const State& state, unsigned level, CellIndex parent, unsigned c) {
        return CellStream::childOnPath(state.seed, state.realization, level, parent, c);
    }

    std::pair<End, End> root(std::uint64_t j) const { return {ratio(j, bins), ratio(j + 1, bins)}; }
    static double share(End lo, End hi) {
        const DoubleDouble part = looseDifference(hi, lo);
        return part.hi + part.lo;
    }
    static bool whole(End lo, End hi) { return lo.hi == 0.0 && hi.hi == 1.0 && hi.lo == 0.0; }
    template <typename Visit>
    void children(const Children& drawn, End lo, End hi, Visit&& visit) const {
        const auto& at = ends[drawn.generator];
        for (std::size_t c = 0; c + 1 < at.size(); ++c) {
            const DoubleDouble left{at[c], 0.0};
            if (!(left < hi) || !(lo < DoubleDouble{at[c + 1], 0.0})) {
                continue;
            }
            const DoubleDouble width = exactSum(at[c + 1], -at[c]);
            const DoubleDouble from = clampUnit((lo - left) / width);
            const DoubleDouble to = clampUnit((hi - left) / width);
            if (from < to) {
                visit(static_cast<unsigned>(c), from, to);
            }
        }
    }
};

// The mass of bin j of N, stopped at level stop: the cells whole in the bin, and the cells
// holding its ends followed down, at most two a level, until what is left undivided is below
// kNegligible of the bin's mass found so far; those are then shared in proportion to length.
template <typename Ends>
double binMass(const State& state, const Ends& ends, std::uint64_t bins, std::uint64_t j,
               unsigned stop, std::array<Children, 2>& children, const std::atomic<bool>* cancel) {
    using End = typename Ends::End;
    struct Part {
        unsigned level;
        CellIndex index;
        double mass;
        End lo;
        End hi;
    };
    if (bins == 1) {
        return wholeMass(state, 0, 0, 1.0, stop, children[0], cancel);
    }
    PositiveSum sum;
    std::array<Part, 2> parts{};
    std::array<Part, 4> next{};
    std::size_t count = 1;
    const auto [lo, hi] = ends.root(j);
    parts[0] = {0, 0, 1.0, lo, hi};
    while (count > 0) {
        std::size_t nextCount = 0;
        for (std::size_t k = 0; k < count; ++k) {
            const Part& part = parts[k];
            const double found = sum.value();
            if (part.level == stop || (found > 0.0 && part.mass < kNegligible * found)) {
                sum.add(part.mass * ends.share(part.lo, part.hi));
                continue;
            }
            if (part.level >= ends.deepest) {
                throw RuntimeError(ErrorKind::Overflow,
                                   "bin " + std::to_string(j) + " of " + std::to_string(bins) +
                                       " still holds " + shortest(part.mass) +
                                       " of undivided cells at level " +
                                       std::to_string(part.level) +
                                       ", deeper than a realization follows a bin's ends");
            }
            CellStream stream = detail::cellStream(state.tables, state.seed, state.realization,
                                                   part.level, part.index);
            drawChildren(state.tables, stream, children[k]);
            // A copy: a canonical law's whole cells draw their own children into the buffer.
            detail::Weights drawn;
            std::copy(children[k].weights.begin(), children[k].weights.end(), drawn.begin());
            ends.children(children[k], part.lo, part.hi, [&](unsigned c, End from, End to) {
                const double mass = part.mass * drawn[c];
                if (mass == 0.0) {
                    return;
                }
                const CellIndex child = ends.child(state, part.level + 1, part.index, c);
                if (ends.whole(from, to)) {
                    sum.add(
                        wholeMass(state, part.level + 1, child, mass, stop, children[k], cancel));
                } else {
                    next[nextCount++] = {part.level + 1, child, mass, from, to};
                }
            });
        }
        std::copy_n(next.begin(), nextCount, parts.begin());
        count = nextCount;
    }
    return sum.value();
}

// Bins that are not the cells of a level, each walked down its ends.
void fillBins(const State& state, std::uint64_t bins, std::uint64_t first, std::span<double> out,
              unsigned stop, const RunControl& control) {
    std::array<Children, 2> children;
    const unsigned base = state.model.base();
    if (base == 0) {
        const GeneratorEnds listed{bins, state.generatorEnds};
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = binMass(state, listed, bins, first + i, stop, children, control.cancel);
        }
        return;
    }
    const AdicEnds adic(bins, base);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = binMass(state, adic, bins, first + i, stop, children, control.cancel);
    }
}

} // namespace

RandomCascade::RandomCascade(RandomModel model, std::uint64_t seed, std::uint64_t realization)
    : m_state(std::make_shared<const State>(std::move(model), seed, realization)) {}

const RandomModel& RandomCascade::model() const {
    return m_state->model;
}
std::uint64_t RandomCascade::seed() const {
    return m_state->seed;
}
std::uint64_t RandomCascade::realization() const {
    return m_state->realization;
}

const RandomCascade::State& RandomCascade::state() const {
    return *m_state;
}

void RandomCascade::checkLevels(unsigned levels) const {
    const unsigned base = m_state->model.base();
    const unsigned most = base > 0 ? AdicEnds::levelsWithin(base, Cascade::kMaxBins) : kMaxDepth;
    if (levels > most) {
        throw InputError("levels (" + std::to_string(levels) + ") must be at most " +
                         std::to_string(most) +
                         (base > 0 ? ", where a level has at most 2^40 cells" : ""));
    }
}

unsigned RandomCascade::stopLevel(std::uint64_t bins, unsigned levels) const {
    const RandomModel& model = m_state->model;
    if (levels != 0) {
        return levels;
    }
    if (model.conservative()) {
        return kNever;
    }
    return levelCovering(model.base(), bins);
}

void RandomCascade::binMasses(std::uint64_t bins, std::uint64_t first, std::span<double> out,
                              unsigned levels, const RunControl& control) const {
    Cascade::checkBins(bins, first, out.size());
    checkLevels(levels);
    if (out.empty()) {
        return;
    }
    const State& state = *m_state;
    if (state.single && levels == 0) {
        state.single->binMasses(bins, first, out, control);
        return;
    }
    const unsigned base = state.model.base();
    const unsigned stop = stopLevel(bins, levels);
    const std::optional<unsigned> level = base > 0 ? exactLevel(base, bins) : std::nullopt;
    const bool cells = level && (state.model.conservative() ? stop >= *level : stop == *level);
    for (std::size_t from = 0; from < out.size(); from += kBinBlock) {
        checkCancelled(control);
        const std::size_t count = std::min(kBinBlock, out.size() - from);
        const std::span<double> part = out.subspan(from, count);
        if (cells && *level > 0) {
            fillLevel(state, *level, first + from, part);
        } else if (cells) {
            part[0] = 1.0;
        } else {
            fillBins(state, bins, first + from, part, stop, control);
        }
    }
}

} // namespace veltrane
