#include "Gth.h"

#include <algorithm>
#include <queue>

namespace veltrane {

namespace {

// The sorted union of a and b, less the vertices left out.
std::vector<std::uint32_t> merged(const std::vector<std::uint32_t>& a,
                                  const std::vector<std::uint32_t>& b, std::uint32_t out1,
                                  std::uint32_t out2) {
    std::vector<std::uint32_t> m;
    m.reserve(a.size() + b.size());
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(m));
    m.erase(
        std::remove_if(m.begin(), m.end(), [&](std::uint32_t v) { return v == out1 || v == out2; }),
        m.end());
    return m;
}

} // namespace

bool denseStationary(std::vector<double>& p, std::size_t n, std::vector<double>& law) {
    for (std::size_t k = n; k-- > 1;) {
        const double* row = &p[k * n];
        double sum = 0.0;
        for (std::size_t j = 0; j < k; ++j) {
            sum += row[j];
        }
        if (!(sum > 0.0)) {
            return false;
        }
        for (std::size_t i = 0; i < k; ++i) {
            double* into = &p[i * n];
            if (into[k] == 0.0) {
                continue; // no path through k: the elimination keeps the rows' sparsity
            }
            into[k] /= sum;
            const double f = into[k];
            for (std::size_t j = 0; j < k; ++j) {
                into[j] += f * row[j];
            }
        }
    }
    law.assign(n, 0.0);
    law[0] = 1.0;
    for (std::size_t j = 1; j < n; ++j) {
        for (std::size_t i = 0; i < j; ++i) {
            law[j] += law[i] * p[i * n + j];
        }
    }
    return true;
}

std::optional<GthPattern> GthPattern::of(const IntervalRows& rows, std::size_t edgeBudget,
                                         std::size_t workBudget) {
    const std::size_t n = rows.size();
    std::size_t edges = 0;
    for (std::size_t i = 0; i < n; ++i) {
        edges += rows.end[i] - rows.begin[i];
    }
    if (edges > edgeBudget) {
        return std::nullopt;
    }
    std::vector<std::vector<std::uint32_t>> adjacent(n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::uint32_t j = rows.begin[i]; j < rows.end[i]; ++j) {
            if (j != i) {
                adjacent[i].push_back(j);
                adjacent[j].push_back(static_cast<std::uint32_t>(i));
            }
        }
    }
    for (auto& a : adjacent) {
        std::sort(a.begin(), a.end());
        a.erase(std::unique(a.begin(), a.end()), a.end());
    }
    // Minimum degree: the vertex of fewest neighbours left goes next, and its neighbours become
    // a clique.
    using Entry = std::pair<std::size_t, std::uint32_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> next;
    for (std::uint32_t v = 0; v < n; ++v) {
        next.emplace(adjacent[v].size(), v);
    }
    GthPattern pattern;
    std::vector<bool> done(n, false);
    std::vector<std::vector<std::uint32_t>> later(n);
    while (!next.empty()) {
        const auto [degree, v] = next.top();
        next.pop();
        if (done[v] || degree != adjacent[v].size()) {
            continue;
        }
        done[v] = true;
        pattern.m_order.push_back(v);
        const std::vector<std::uint32_t> neighbours = std::move(adjacent[v]);
        pattern.m_work += neighbours.size() * neighbours.size();
        if (pattern.m_work > workBudget) {
            return std::nullopt;
        }
        for (const std::uint32_t u : neighbours) {
            adjacent[u] = merged(adjacent[u], neighbours, u, v);
            next.emplace(adjacent[u].size(), u);
        }
        later[v] = neighbours;
    }
    pattern.m_rank.resize(n);
    for (std::size_t r = 0; r < n; ++r) {
        pattern.m_rank[pattern.m_order[r]] = static_cast<std::uint32_t>(r);
    }
    pattern.m_start.push_back(0);
    for (std::size_t r = 0; r < n; ++r) {
        std::vector<std::uint32_t> ranks;
        for (const std::uint32_t u : later[pattern.m_order[r]]) {
            ranks.push_back(pattern.m_rank[u]);
        }
        std::sort(ranks.begin(), ranks.end());
        pattern.m_later.insert(pattern.m_later.end(), ranks.begin(), ranks.end());
        pattern.m_start.push_back(pattern.m_later.size());
    }
    // Where each update of an elimination lands, found once.
    const auto index = [&](std::uint32_t a, std::uint32_t b) {
        const std::uint32_t first = std::min(a, b);
        const auto begin = pattern.m_later.begin() + static_cast<long>(pattern.m_start[first]);
        const auto end = pattern.m_later.begin() + static_cast<long>(pattern.m_start[first + 1]);
        const auto k = static_cast<std::uint32_t>(std::lower_bound(begin, end, std::max(a, b)) -
                                                  pattern.m_later.begin());
        return 2 * k + (a < b ? 0U : 1U);
    };
    pattern.m_targetStart.push_back(0);
    for (std::size_t r = 0; r < n; ++r) {
        for (std::size_t ka = pattern.m_start[r]; ka < pattern.m_start[r + 1]; ++ka) {
            for (std::size_t kb = pattern.m_start[r]; kb < pattern.m_start[r + 1]; ++kb) {
                const std::uint32_t a = pattern.m_later[ka];
                const std::uint32_t b = pattern.m_later[kb];
                pattern.m_target.push_back(a == b ? kDiagonal : index(a, b));
            }
        }
        pattern.m_targetStart.push_back(pattern.m_target.size());
    }
    return pattern;
}

GthFactor::GthFactor(const GthPattern& pattern)
    : m_pattern(&pattern), m_upper(pattern.m_later.size()), m_lower(pattern.m_later.size()),
      m_pivot(pattern.size()), m_deficit(pattern.size()) {}

double& GthFactor::at(std::uint32_t i, std::uint32_t j) {
    const GthPattern& p = *m_pattern;
    const std::uint32_t a = p.m_rank[i];
    const std::uint32_t b = p.m_rank[j];
    const std::uint32_t first = std::min(a, b);
    const std::uint32_t second = std::max(a, b);
    const auto begin = p.m_later.begin() + static_cast<long>(p.m_start[first]);
    const auto end = p.m_later.begin() + static_cast<long>(p.m_start[first + 1]);
    const auto k =
        static_cast<std::size_t>(std::lower_bound(begin, end, second) - p.m_later.begin());
    return a < b ? m_upper[k] : m_lower[k];
}

bool GthFactor::eliminate(std::span<const double> deficit) {
    const GthPattern& p = *m_pattern;
    const std::size_t n = p.size();
    for (std::size_t r = 0; r < n; ++r) {
        m_deficit[r] = deficit[p.m_order[r]];
    }
    for (std::size_t r = 0; r < n; ++r) {
        const std::size_t from = p.m_start[r];
        const std::size_t to = p.m_start[r + 1];
        double pivot = m_deficit[r];
        for (std::size_t k = from; k < to; ++k) {
            pivot += m_upper[k];
        }
        if (!(pivot > 0.0)) {
            return false;
        }
        m_pivot[r] = pivot;
        const std::size_t width = to - from;
        const std::uint32_t* target = p.m_target.data() + p.m_targetStart[r];
        for (std::size_t ka = from; ka < to; ++ka, target += width) {
            const std::uint32_t a = p.m_later[ka];
            const double f = m_lower[ka] / pivot;
            m_lower[ka] = f;
            if (f == 0.0) {
                continue;
            }
            m_deficit[a] += f * m_deficit[r];
            for (std::size_t kb = 0; kb < width; ++kb) {
                const std::uint32_t t = target[kb];
                if (t != GthPattern::kDiagonal) {
                    ((t & 1U) != 0 ? m_lower : m_upper)[t >> 1] += f * m_upper[from + kb];
                }
            }
        }
    }
    return true;
}

std::vector<double>& GthFactor::ordered(std::span<const double> x) const {
    const GthPattern& p = *m_pattern;
    std::vector<double>& y = m_scratch;
    y.resize(p.size());
    for (std::size_t r = 0; r < y.size(); ++r) {
        y[r] = x[p.m_order[r]];
    }
    return y;
}

void GthFactor::unorder(std::span<double> x) const {
    const GthPattern& p = *m_pattern;
    for (std::size_t r = 0; r < m_scratch.size(); ++r) {
        x[p.m_order[r]] = m_scratch[r];
    }
}

void GthFactor::solve(std::span<double> x) const {
    const GthPattern& p = *m_pattern;
    const std::size_t n = p.size();
    std::vector<double>& y = ordered(x);
    for (std::size_t r = 0; r < n; ++r) {
        for (std::size_t k = p.m_start[r]; k < p.m_start[r + 1]; ++k) {
            y[p.m_later[k]] += m_lower[k] * y[r];
        }
    }
    for (std::size_t r = n; r-- > 0;) {
        double sum = y[r];
        for (std::size_t k = p.m_start[r]; k < p.m_start[r + 1]; ++k) {
            sum += m_upper[k] * y[p.m_later[k]];
        }
        y[r] = sum / m_pivot[r];
    }
    unorder(x);
}

void GthFactor::solveTransposed(std::span<double> x) const {
    const GthPattern& p = *m_pattern;
    const std::size_t n = p.size();
    std::vector<double>& y = ordered(x);
    for (std::size_t r = 0; r < n; ++r) {
        y[r] /= m_pivot[r];
        for (std::size_t k = p.m_start[r]; k < p.m_start[r + 1]; ++k) {
            y[p.m_later[k]] += m_upper[k] * y[r];
        }
    }
    for (std::size_t r = n; r-- > 0;) {
        double sum = y[r];
        for (std::size_t k = p.m_start[r]; k < p.m_start[r + 1]; ++k) {
            sum += m_lower[k] * y[p.m_later[k]];
        }
        y[r] = sum;
    }
    unorder(x);
}

} // namespace veltrane
