#include "IntervalGraph.h"

#include <algorithm>
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

} // namespace veltrane
