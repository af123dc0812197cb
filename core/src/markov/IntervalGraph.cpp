#include "IntervalGraph.h"

#include <algorithm>
#include <deque>
#include <numeric>

namespace veltrane {

namespace {

// The vertices not yet found, as "the first one at or after k" with path halving.
class Unfound {
public:
    explicit Unfound(std::size_t n) : m_next(n + 1) {
        std::iota(m_next.begin(), m_next.end(), std::uint32_t{0});
    }
    std::uint32_t firstFrom(std::uint32_t k) {
        while (m_next[k] != k) {
            m_next[k] = m_next[m_next[k]];
            k = m_next[k];
        }
        return k;
    }
    void remove(std::uint32_t k) { m_next[k] = k + 1; }

private:
    std::vector<std::uint32_t> m_next; // n itself stands for "none left"
};

// The vertices of the first search in the order they are finished.
std::vector<std::uint32_t> finishOrder(const IntervalRows& rows) {
    const auto n = static_cast<std::uint32_t>(rows.size());
    Unfound unfound(n);
    std::vector<std::uint32_t> order;
    order.reserve(n);
    std::vector<std::uint32_t> stack;
    for (std::uint32_t root = 0; root < n; ++root) {
        if (unfound.firstFrom(root) != root) {
            continue;
        }
        unfound.remove(root);
        stack.push_back(root);
        while (!stack.empty()) {
            const std::uint32_t top = stack.back();
            const std::uint32_t next = unfound.firstFrom(rows.begin[top]);
            if (next < rows.end[top]) {
                unfound.remove(next);
                stack.push_back(next);
            } else {
                order.push_back(top);
                stack.pop_back();
            }
        }
    }
    return order;
}

// The vertices not yet found as predecessors: a vertex i precedes j when begin[i] ≤ j <
// end[i]. They are kept sorted by begin in a tree of the largest end below each node, so that
// one not yet found that precedes j is found, and removed, in log n steps.
class UnfoundPredecessors {
public:
    explicit UnfoundPredecessors(const IntervalRows& rows) : m_rows(rows), m_byBegin(rows.size()) {
        std::iota(m_byBegin.begin(), m_byBegin.end(), std::uint32_t{0});
        std::stable_sort(m_byBegin.begin(), m_byBegin.end(), [&](std::uint32_t a, std::uint32_t b) {
            return rows.begin[a] < rows.begin[b];
        });
        m_slot.resize(rows.size());
        while (m_leaves < rows.size()) {
            m_leaves *= 2;
        }
        m_largestEnd.assign(2 * m_leaves, 0);
        for (std::size_t k = 0; k < rows.size(); ++k) {
            m_slot[m_byBegin[k]] = static_cast<std::uint32_t>(k);
            m_largestEnd[m_leaves + k] = rows.end[m_byBegin[k]];
        }
        for (std::size_t k = m_leaves - 1; k > 0; --k) {
            m_largestEnd[k] = std::max(m_largestEnd[2 * k], m_largestEnd[2 * k + 1]);
        }
    }

    void remove(std::uint32_t vertex) {
        std::size_t k = m_leaves + m_slot[vertex];
        m_largestEnd[k] = 0;
        for (k /= 2; k > 0; k /= 2) {
            m_largestEnd[k] = std::max(m_largestEnd[2 * k], m_largestEnd[2 * k + 1]);
        }
    }

    // A vertex not yet removed that precedes j, or none (the vertex count).
    std::uint32_t find(std::uint32_t j) const {
        // Those with begin ≤ j are a prefix of the sorted order; one of them has end > j.
        const auto prefix =
            static_cast<std::size_t>(std::upper_bound(m_byBegin.begin(), m_byBegin.end(), j,
                                                      [&](std::uint32_t v, std::uint32_t b) {
                                                          return v < m_rows.begin[b];
                                                      }) -
                                     m_byBegin.begin());
        const std::size_t k = leftmostAbove(1, 0, m_leaves, prefix, j);
        return k == kNone ? static_cast<std::uint32_t>(m_rows.size()) : m_byBegin[k];
    }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // The first leaf below node (covering [lo, hi)) and before limit whose end exceeds j.
    std::size_t leftmostAbove(std::size_t node, std::size_t lo, std::size_t hi, std::size_t limit,
                              std::uint32_t j) const {
        if (lo >= limit || m_largestEnd[node] <= j) {
            return kNone;
        }
        if (hi - lo == 1) {
            return lo;
        }
        const std::size_t mid = lo + (hi - lo) / 2;
        const std::size_t left = leftmostAbove(2 * node, lo, mid, limit, j);
        return left != kNone ? left : leftmostAbove(2 * node + 1, mid, hi, limit, j);
    }

    const IntervalRows& m_rows;
    std::vector<std::uint32_t> m_byBegin;
    std::vector<std::uint32_t> m_slot; // each vertex's place in m_byBegin
    std::size_t m_leaves = 1;
    std::vector<std::uint32_t> m_largestEnd;
};

} // namespace

Components strongComponents(const IntervalRows& rows) {
    const auto n = static_cast<std::uint32_t>(rows.size());
    const std::vector<std::uint32_t> order = finishOrder(rows);
    UnfoundPredecessors predecessors(rows);
    Components components;
    components.of.assign(n, n);
    std::vector<std::uint32_t> stack;
    // In decreasing finishing order each search of the reversed graph finds one component,
    // and the first one found is a source of the graph of components.
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (components.of[*it] != n) {
            continue;
        }
        const std::uint32_t c = components.count++;
        components.of[*it] = c;
        predecessors.remove(*it);
        stack.push_back(*it);
        while (!stack.empty()) {
            const std::uint32_t j = stack.back();
            const std::uint32_t i = predecessors.find(j);
            if (i == n) {
                stack.pop_back();
                continue;
            }
            components.of[i] = c;
            predecessors.remove(i);
            stack.push_back(i);
        }
    }
    return components;
}

namespace {

// The greatest common divisor of the numbers in a range, from a tree of those of halves.
class RangeGcd {
public:
    explicit RangeGcd(const std::vector<std::uint32_t>& values) {
        while (m_leaves < values.size()) {
            m_leaves *= 2;
        }
        m_gcd.assign(2 * m_leaves, 0);
        std::copy(values.begin(), values.end(),
                  m_gcd.begin() + static_cast<std::ptrdiff_t>(m_leaves));
        for (std::size_t k = m_leaves - 1; k > 0; --k) {
            m_gcd[k] = std::gcd(m_gcd[2 * k], m_gcd[2 * k + 1]);
        }
    }

    // Of the values at lo .. hi - 1 (0 for none).
    std::uint32_t of(std::size_t lo, std::size_t hi) const {
        std::uint32_t g = 0;
        for (lo += m_leaves, hi += m_leaves; lo < hi; lo /= 2, hi /= 2) {
            if (lo % 2 == 1) {
                g = std::gcd(g, m_gcd[lo++]);
            }
            if (hi % 2 == 1) {
                g = std::gcd(g, m_gcd[--hi]);
            }
        }
        return g;
    }

private:
    std::size_t m_leaves = 1;
    std::vector<std::uint32_t> m_gcd;
};

std::uint32_t distance(std::uint32_t a, std::uint32_t b) {
    return a > b ? a - b : b - a;
}

} // namespace

CyclicClasses cyclicClasses(const IntervalRows& rows) {
    // Levels of a breadth-first search from vertex 0: the period divides level(i) + 1 -
    // level(j) for every edge i → j, and is the greatest common divisor of those numbers.
    const auto n = static_cast<std::uint32_t>(rows.size());
    std::vector<std::uint32_t> level(n, 0);
    Unfound unfound(n);
    std::deque<std::uint32_t> queue{0};
    unfound.remove(0);
    while (!queue.empty()) {
        const std::uint32_t i = queue.front();
        queue.pop_front();
        for (std::uint32_t j = unfound.firstFrom(rows.begin[i]); j < rows.end[i];
             j = unfound.firstFrom(j)) {
            level[j] = level[i] + 1;
            unfound.remove(j);
            queue.push_back(j);
        }
    }
    // Within a run, the levels' differences from its first are sums of neighbours' differences,
    // whose divisors they share.
    std::vector<std::uint32_t> step(n, 0);
    for (std::uint32_t j = 0; j + 1 < n; ++j) {
        step[j] = distance(level[j + 1], level[j]);
    }
    const RangeGcd steps(step);
    std::uint32_t period = 0;
    for (std::uint32_t i = 0; i < n && period != 1; ++i) {
        if (rows.begin[i] < rows.end[i]) {
            period = std::gcd(period, distance(level[i] + 1, level[rows.begin[i]]));
            period = std::gcd(period, steps.of(rows.begin[i], rows.end[i] - 1));
        }
    }
    CyclicClasses classes;
    classes.period = std::max<std::uint32_t>(period, 1);
    classes.of.resize(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        classes.of[i] = level[i] % classes.period;
    }
    return classes;
}

} // namespace veltrane
