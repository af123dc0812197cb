#include "CycleMeans.h"

#include "Perron.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>
#include <veltrane/errors.h>

namespace veltrane {

namespace {

// Far more rounds than policy iteration takes on any map tried (a few tens).
constexpr long kMostRounds = 100'000;

// Entropy of a component of the critical graph: the bounds on its ρ this close.
constexpr double kEntropyTolerance = 1e-15;

using Real = long double;

// Two values count as equal where they differ by at most relative times the larger of their
// sizes and scale: the errors of sums of the values along paths and cycles, which grow with the
// values summed, not with values elsewhere in the map.
struct Tie {
    Real relative = 0.0L;
    Real scale = 0.0L;

    Real of(Real a, Real b) const {
        return relative * std::max({std::fabs(a), std::fabs(b), scale});
    }
};

// The vertex of least key (class, potential, index) in a run of vertices, from a segment tree.
class LeastInRun {
public:
    LeastInRun(std::span<const std::uint32_t> klass, std::span<const Real> x)
        : m_class(klass), m_x(x) {
        while (m_leaves < x.size()) {
            m_leaves *= 2;
        }
        m_tree.assign(2 * m_leaves, kNone);
        for (std::size_t k = 0; k < x.size(); ++k) {
            m_tree[m_leaves + k] = static_cast<std::uint32_t>(k);
        }
        for (std::size_t k = m_leaves - 1; k > 0; --k) {
            m_tree[k] = least(m_tree[2 * k], m_tree[2 * k + 1]);
        }
    }

    std::uint32_t in(std::uint32_t begin, std::uint32_t end) const {
        std::uint32_t best = kNone;
        for (std::size_t lo = begin + m_leaves, hi = end + m_leaves; lo < hi; lo /= 2, hi /= 2) {
            if ((lo & 1U) != 0) {
                best = least(best, m_tree[lo++]);
            }
            if ((hi & 1U) != 0) {
                best = least(best, m_tree[--hi]);
            }
        }
        return best;
    }

private:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    std::uint32_t least(std::uint32_t a, std::uint32_t b) const {
        if (a == kNone || b == kNone) {
            return a == kNone ? b : a;
        }
        if (m_class[a] != m_class[b]) {
            return m_class[a] < m_class[b] ? a : b;
        }
        if (m_x[a] != m_x[b]) {
            return m_x[a] < m_x[b] ? a : b;
        }
        return std::min(a, b);
    }

    std::span<const std::uint32_t> m_class;
    std::span<const Real> m_x;
    std::size_t m_leaves = 1;
    std::vector<std::uint32_t> m_tree;
};

// Groups values that tie with the next lower one; returns the group of each, numbered upwards.
std::vector<std::uint32_t> groups(std::span<const Real> values, const Tie& tie) {
    std::vector<std::uint32_t> order(values.size());
    std::iota(order.begin(), order.end(), std::uint32_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return values[a] < values[b]; });
    std::vector<std::uint32_t> group(values.size());
    std::uint32_t g = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k > 0 && values[order[k]] - values[order[k - 1]] >
                         tie.of(values[order[k]], values[order[k - 1]])) {
            ++g;
        }
        group[order[k]] = g;
    }
    return group;
}

// A policy: one successor of each vertex, its cycles' means η and the potentials x with
// x_i = f_i - η_i + x_next(i), η_i = η_next(i).
struct Policy {
    std::vector<std::uint32_t> next;
    std::vector<Real> eta;
    std::vector<Real> x;
};

// Sets η and x of the policy's vertices. A cycle keeps the potential of its lowest vertex from
// the policy before, so that a cycle the rounds do not change keeps its values.
void evaluate(Policy& p, std::span<const double> f) {
    const std::size_t n = f.size();
    std::vector<std::uint8_t> state(n, 0); // 0 not seen, 1 on the walk, 2 done
    std::vector<std::uint32_t> walk;
    for (std::uint32_t start = 0; start < n; ++start) {
        walk.clear();
        std::uint32_t k = start;
        while (state[k] == 0) {
            state[k] = 1;
            walk.push_back(k);
            k = p.next[k];
        }
        if (state[k] == 1) {
            const auto at =
                static_cast<std::size_t>(std::find(walk.begin(), walk.end(), k) - walk.begin());
            const std::span<const std::uint32_t> cycle(walk.data() + at, walk.size() - at);
            Real sum = 0.0L;
            for (const std::uint32_t c : cycle) {
                sum += f[c];
            }
            const Real eta = sum / static_cast<Real>(cycle.size());
            const auto low = static_cast<std::size_t>(std::min_element(cycle.begin(), cycle.end()) -
                                                      cycle.begin());
            for (std::size_t t = 1; t < cycle.size(); ++t) {
                const std::uint32_t c = cycle[(low + cycle.size() - t) % cycle.size()];
                p.x[c] = static_cast<Real>(f[c]) - eta + p.x[p.next[c]];
            }
            for (const std::uint32_t c : cycle) {
                p.eta[c] = eta;
                state[c] = 2;
            }
            walk.resize(at);
        }
        for (auto it = walk.rbegin(); it != walk.rend(); ++it) {
            const std::uint32_t c = *it;
            p.eta[c] = p.eta[p.next[c]];
            p.x[c] = static_cast<Real>(f[c]) - p.eta[c] + p.x[p.next[c]];
            state[c] = 2;
        }
    }
}

// One round of improvement; false when the policy is optimal. A vertex moves to a successor
// of a lower cycle mean where there is one (anywhere), else to one of lower potential by more
// than a tie.
bool improve(Policy& p, const IntervalRows& rows, const Tie& tie) {
    const std::size_t n = rows.size();
    const std::vector<std::uint32_t> meanGroup = groups(p.eta, tie);
    const LeastInRun least(meanGroup, p.x);
    std::vector<std::uint32_t> best(n);
    bool lowerMean = false;
    for (std::size_t i = 0; i < n; ++i) {
        best[i] = least.in(rows.begin[i], rows.end[i]);
        lowerMean = lowerMean || meanGroup[best[i]] < meanGroup[i];
    }
    bool changed = false;
    for (std::size_t i = 0; i < n; ++i) {
        const bool better =
            lowerMean ? meanGroup[best[i]] < meanGroup[i]
                      : p.x[best[i]] < p.x[p.next[i]] - tie.of(p.x[best[i]], p.x[p.next[i]]);
        if (better) {
            p.next[i] = best[i];
            changed = true;
        }
    }
    return changed;
}

// The graph of the edges i → j on which the optimal potentials are tight, x_i = f_i - η + x_j,
// that is, j of least potential in i's run. Grouping the potentials that tie and
// ordering the vertices by group and then place, the tight successors of each vertex are a run
// again. Returns the rows in that order.
IntervalRows tightGraph(const IntervalRows& rows, const Policy& p, const Tie& tie) {
    const std::size_t n = rows.size();
    const std::vector<std::uint32_t> level = groups(p.x, tie);
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), std::uint32_t{0});
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return level[a] != level[b] ? level[a] < level[b] : a < b;
    });
    const std::vector<std::uint32_t> none(n, 0);
    const LeastInRun least(none, p.x);
    IntervalRows tight;
    tight.begin.resize(n);
    tight.end.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint32_t i = order[k];
        const std::uint32_t target = level[least.in(rows.begin[i], rows.end[i])];
        // The run of the target level in the order, then the places within the row's run.
        const auto key = [&](std::uint32_t v) { return std::pair(level[v], v); };
        const auto from =
            std::lower_bound(order.begin(), order.end(), std::pair(target, rows.begin[i]),
                             [&](std::uint32_t v, auto b) { return key(v) < b; });
        const auto to = std::lower_bound(order.begin(), order.end(), std::pair(target, rows.end[i]),
                                         [&](std::uint32_t v, auto b) { return key(v) < b; });
        tight.begin[k] = static_cast<std::uint32_t>(from - order.begin());
        tight.end[k] = static_cast<std::uint32_t>(to - order.begin());
    }
    return tight;
}

// ln ρ of the largest component of the graph, 0 for a single cycle; the graph has cycles.
double entropyOf(const IntervalRows& graph, const RunControl& control) {
    const Components components = strongComponents(graph);
    // Each component's vertices in order, so that a run of the graph restricted to one is a
    // run of its own list.
    std::vector<std::uint32_t> members(graph.size());
    std::iota(members.begin(), members.end(), std::uint32_t{0});
    std::stable_sort(members.begin(), members.end(), [&](std::uint32_t a, std::uint32_t b) {
        return components.of[a] < components.of[b];
    });
    double entropy = 0.0;
    for (auto first = members.begin(); first != members.end();) {
        const std::uint32_t c = components.of[*first];
        const auto last = std::find_if(first, members.end(),
                                       [&](std::uint32_t v) { return components.of[v] != c; });
        IntervalRows own;
        bool cycleOnly = true;
        for (auto it = first; it != last; ++it) {
            own.begin.push_back(static_cast<std::uint32_t>(
                std::lower_bound(first, last, graph.begin[*it]) - first));
            own.end.push_back(
                static_cast<std::uint32_t>(std::lower_bound(first, last, graph.end[*it]) - first));
            cycleOnly = cycleOnly && own.end.back() - own.begin.back() == 1;
        }
        const bool hasEdge = own.end.front() > own.begin.front();
        if (hasEdge && !cycleOnly) {
            // A component of more than one cycle: its ρ exceeds 1.
            const std::vector<double> none(own.size(), 0.0);
            const PerronMap map(own, none, flatFrame(own.size()), flatFrame(own.size()));
            PerronSolver solver(map);
            PerronVectors vectors;
            entropy = std::max(entropy,
                               solver.solve(0.0, vectors, kEntropyTolerance, 1.0, control).logRoot);
        }
        first = last;
    }
    return entropy;
}

} // namespace

CycleEnd smallestCycleMean(const IntervalRows& rows, std::span<const double> values,
                           double relativeTie, const RunControl& control) {
    const std::size_t n = rows.size();
    Policy p;
    p.eta.assign(n, 0.0L);
    p.x.assign(n, 0.0L);
    // First each vertex goes to its successor of least value.
    std::vector<Real> f(values.begin(), values.end());
    const std::vector<std::uint32_t> none(n, 0);
    {
        const LeastInRun least(none, f);
        p.next.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            p.next[i] = least.in(rows.begin[i], rows.end[i]);
        }
    }
    // The values' own scale: their median size, which a few far larger or smaller do not move.
    std::vector<double> sizes(values.size());
    std::transform(values.begin(), values.end(), sizes.begin(),
                   [](double v) { return std::fabs(v); });
    std::nth_element(sizes.begin(), sizes.begin() + static_cast<long>(n / 2), sizes.end());
    const Tie tie{static_cast<Real>(relativeTie), static_cast<Real>(sizes[n / 2])};
    for (long round = 0;; ++round) {
        checkCancelled(control);
        evaluate(p, values);
        if (!improve(p, rows, tie)) {
            break;
        }
        if (round == kMostRounds) {
            throw RuntimeError(ErrorKind::InvalidOperation,
                               "the smallest cycle mean of the transition graph was not found");
        }
    }
    CycleEnd end;
    end.mean = static_cast<double>(*std::min_element(p.eta.begin(), p.eta.end()));
    end.entropy = entropyOf(tightGraph(rows, p, tie), control);
    end.potentials.assign(p.x.begin(), p.x.end());
    end.exactMean = *std::min_element(p.eta.begin(), p.eta.end());
    return end;
}

} // namespace veltrane
