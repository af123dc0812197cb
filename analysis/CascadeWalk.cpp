#include "CascadeWalk.h"

#include <algorithm>
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

double CascadeBranches::between(std::size_t a, std::size_t b) const {
    double sum = 0.0;
    for (std::size_t k = a + 1; k < b; ++k) {
        sum += weights[k];
    }
    return sum;
}

BinWalk::BinWalk(const CascadeBranches& branches, std::uint64_t bins)
    : m_branches(branches), m_cuts(branches.count() + 1) {
    const DoubleDouble all{static_cast<double>(bins)};
    m_path.push_back({all, 1.0, 0, false});
    m_cuts.back() = all;
}

void BinWalk::descend(double x, BinEnd& end, double* middle) {
    const std::size_t n = m_branches.count();
    for (;;) {
        const std::size_t level = m_path.size() - 1;
        const DoubleDouble* c = cuts(level);
        const bool holdsPrevious = !(x - 1.0 < c[0]);
        if (!holdsPrevious && !(x + 1.0 < c[n])) {
            break;
        }
        const std::size_t k = childOf(level, x);
        Level& cell = m_path[level];
        if (!holdsPrevious) {
            end.head += cell.mass * m_branches.before[k];
        } else if (middle != nullptr) {
            *middle = cell.mass * m_branches.between(cell.child, k);
            middle = nullptr;
        }
        cell.child = k;
        push(level, k);
    }
    place(x, end);
}

void BinWalk::rise(double x, BinEnd& end) {
    const std::size_t n = m_branches.count();
    m_path.pop_back(); // its own cell, which CascadeSplit splits
    while (!m_path.empty() && !(x + 1.0 < cuts(m_path.size() - 1)[n])) {
        const Level& cell = m_path.back();
        end.tail += cell.mass * m_branches.after[cell.child];
        m_path.pop_back();
    }
}

std::size_t BinWalk::childOf(std::size_t level, double x) {
    const std::size_t n = m_branches.count();
    Level& cell = m_path[level];
    DoubleDouble* c = cuts(level);
    if (!cell.cutsReady) {
        for (std::size_t i = 1; i < n; ++i) {
            c[i] = c[0] + cell.width * m_branches.breaks[i];
        }
        cell.cutsReady = true;
    }
    std::size_t lo = 0;
    std::size_t hi = n;
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        (x < c[mid] ? hi : lo) = mid;
    }
    return lo;
}

void BinWalk::push(std::size_t level, std::size_t child) {
    const std::size_t n = m_branches.count();
    const Level& cell = m_path[level];
    const Level next{cell.width * m_branches.lengths[child], cell.mass * m_branches.weights[child],
                     0, false};
    const DoubleDouble left = cuts(level)[child];
    const DoubleDouble right = cuts(level)[child + 1];
    m_path.push_back(next);
    m_cuts.resize(std::max(m_cuts.size(), (level + 2) * (n + 1)));
    cuts(level + 1)[0] = left;
    cuts(level + 1)[n] = right;
}

void BinWalk::place(double x, BinEnd& end) {
    const std::size_t level = m_path.size() - 1;
    const DoubleDouble* c = cuts(level);
    const DoubleDouble fromLeft = DoubleDouble{x} - c[0];
    const DoubleDouble fromRight = c[m_branches.count()] - DoubleDouble{x};
    end.fromRight = fromRight < fromLeft;
    end.distance = (end.fromRight ? fromRight : fromLeft) / m_path[level].width;
    end.mass = m_path[level].mass;
}

} // namespace veltrane
