#include "Balanced.h"

#include "DoubleDouble.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veltrane {

namespace {

// Rows whose scale e^{b (min over the run of p - min p)} lies beyond e^kCommonScale are held as
// lists; the others' entries above e^-kDropped of 1 have column scales above e^-660, well
// inside the range of doubles.
constexpr double kCommonScale = 600.0;
constexpr double kDropped = 60.0;
// Column scales below this are 0: no row in common scale has an entry above e^-100 there.
constexpr double kLeastColumnLog = -700.0;

// A prefix difference is taken again from the tree where its error bound exceeds this part of
// the sum of its terms' magnitudes.
constexpr double kPrefixTrust = 0x1p-56;

// e^x for x = hi + lo given as a long double, to about a unit in the last place of the result
// however large |x|: the part of x that rounding to a double leaves out enters to first order.
double exactExp(long double x) {
    const auto hi = static_cast<double>(x);
    const auto lo = static_cast<double>(x - static_cast<long double>(hi));
    return std::exp(hi) * (1.0 + lo);
}

} // namespace

PotentialTree::PotentialTree(std::span<const double> potentials) {
    while (m_leaves < potentials.size()) {
        m_leaves *= 2;
    }
    m_least.assign(2 * m_leaves, std::numeric_limits<double>::infinity());
    std::copy(potentials.begin(), potentials.end(), m_least.begin() + static_cast<long>(m_leaves));
    for (std::size_t k = m_leaves - 1; k > 0; --k) {
        m_least[k] = std::min(m_least[2 * k], m_least[2 * k + 1]);
    }
}

BalancedMatrix::BalancedMatrix(const IntervalRows& rows, const BalancedFrame& frame,
                               const PotentialTree& tree)
    : m_rows(&rows), m_frame(&frame), m_tree(&tree), m_columnScale(rows.size()),
      m_rowScale(rows.size()), m_far(rows.size(), kNear), m_terms(rows.size()),
      m_hi(rows.size() + 1), m_lo(rows.size() + 1), m_magnitude(rows.size() + 1) {
    m_least = frame.potentials.empty()
                  ? 0.0
                  : *std::min_element(frame.potentials.begin(), frame.potentials.end());
    while (m_leaves < rows.size()) {
        m_leaves *= 2;
    }
}

void BalancedMatrix::setBeta(double b) {
    if (b == m_beta) {
        return;
    }
    m_beta = b;
    const std::size_t n = size();
    const auto& g = m_frame->values;
    const auto& p = m_frame->potentials;
    const auto beta = static_cast<long double>(b);
    const auto eta = static_cast<long double>(m_frame->mean);
    const auto least = static_cast<long double>(m_least);
    bool anyFar = false;
    for (std::size_t j = 0; j < n; ++j) {
        const long double column = -beta * (static_cast<long double>(p[j]) - least);
        m_columnScale[j] = column < kLeastColumnLog ? 0.0 : exactExp(column);
        // The row's exponent: b times (min over its run of p) - min p, for optimal p.
        const long double row =
            -beta * (static_cast<long double>(g[j]) - eta - static_cast<long double>(p[j]) + least);
        if (row <= kCommonScale) {
            m_rowScale[j] = exactExp(row);
            m_far[j] = kNear;
        } else {
            m_rowScale[j] = 0.0;
            m_far[j] = 0;
            anyFar = true;
        }
    }
    m_farRows.clear();
    m_farStart.assign(1, 0);
    m_farColumn.clear();
    m_farValue.clear();
    if (anyFar) {
        buildFar();
    }
}

// The entries of the rows beyond the common scale that are above e^-kDropped: those whose
// column's potential is within (kDropped + the row's exponent) / b of the least potential.
void BalancedMatrix::buildFar() {
    const auto& g = m_frame->values;
    const auto& p = m_frame->potentials;
    const auto beta = static_cast<long double>(m_beta);
    const auto eta = static_cast<long double>(m_frame->mean);
    for (std::size_t i = 0; i < size(); ++i) {
        if (m_far[i] == kNear) {
            continue;
        }
        m_far[i] = static_cast<std::uint32_t>(m_farRows.size());
        m_farRows.push_back(static_cast<std::uint32_t>(i));
        const long double rowPart = static_cast<long double>(g[i]) - eta - p[i];
        const double bound = static_cast<double>(
            static_cast<long double>(kDropped) / beta - rowPart);
        m_tree->below(m_rows->begin[i], m_rows->end[i], bound, [&](std::uint32_t j) {
            m_farColumn.push_back(j);
            m_farValue.push_back(exactExp(-beta * (rowPart + static_cast<long double>(p[j]))));
        });
        m_farStart.push_back(m_farColumn.size());
    }
}

void BalancedMatrix::right(std::span<const double> x, std::span<double> out) {
    const std::size_t n = size();
    for (std::size_t j = 0; j < n; ++j) {
        m_terms[j] = m_columnScale[j] * x[j];
    }
    // Running sums in double-double: hi the rounded sum, lo the rounding errors gathered (exact
    // by the two-sum), off the chain of dependent additions.
    double s = 0.0;
    double error = 0.0;
    double mass = 0.0;
    m_hi[0] = m_lo[0] = m_magnitude[0] = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double t = m_terms[k];
        const double sum = s + t;
        const double back = sum - s;
        error += (s - (sum - back)) + (t - back);
        s = sum;
        mass += std::fabs(t);
        m_hi[k + 1] = s;
        m_lo[k + 1] = error;
        m_magnitude[k + 1] = mass;
    }
    const double trust = kPrefixTrust / (static_cast<double>(n) * 0x1p-104);
    bool treeBuilt = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (m_far[i] != kNear) {
            double sum = 0.0;
            for (std::size_t k = m_farStart[m_far[i]]; k < m_farStart[m_far[i] + 1]; ++k) {
                sum += m_farValue[k] * x[m_farColumn[k]];
            }
            out[i] = sum;
            continue;
        }
        const std::uint32_t b = m_rows->begin[i];
        const std::uint32_t e = m_rows->end[i];
        const DoubleDouble d = exactSum(m_hi[e], -m_hi[b]);
        double sum = d.hi + (d.lo + (m_lo[e] - m_lo[b]));
        // The difference's error is a few units of 2^-104 of the sums' magnitude, times their
        // length at most.
        if (m_magnitude[e] > trust * (m_magnitude[e] - m_magnitude[b])) {
            if (!treeBuilt) {
                sumsFromTree(m_terms);
                treeBuilt = true;
            }
            sum = treeSum(b, e);
            ++m_treeRows;
        }
        out[i] = m_rowScale[i] * sum;
    }
}

void BalancedMatrix::left(std::span<const double> x, std::span<double> out) {
    const std::size_t n = size();
    // out_j sums the row terms of the runs that hold j: each row's term is added where its run
    // begins and taken away where it ends, in a running sum in double-double. The terms that
    // begin (and end) at one place are gathered in double-double there too, since many runs may
    // share an end.
    for (std::vector<double>* v : {&m_hi, &m_lo, &m_beginLo, &m_endLo, &m_magnitude, &m_beginMass}) {
        v->assign(n + 1, 0.0);
    }
    const auto gather = [](double& hi, double& lo, double t) {
        const DoubleDouble d = exactSum(hi, t);
        hi = d.hi;
        lo += d.lo;
    };
    bool anyFar = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (m_far[i] != kNear) {
            anyFar = true;
            continue;
        }
        const double t = m_rowScale[i] * x[i];
        m_terms[i] = t;
        gather(m_hi[m_rows->begin[i]], m_beginLo[m_rows->begin[i]], t);
        gather(m_lo[m_rows->end[i]], m_endLo[m_rows->end[i]], t);
        m_magnitude[m_rows->begin[i]] += std::fabs(t);
        m_magnitude[m_rows->end[i]] -= std::fabs(t);
        m_beginMass[m_rows->begin[i]] += std::fabs(t);
    }
    const double trust = kPrefixTrust / (static_cast<double>(n) * 0x1p-104);
    double s = 0.0;
    double error = 0.0;
    double begun = 0.0; // the magnitudes of every term begun so far: the sums' scale
    double held = 0.0;  // those of the runs holding j, in plain double
    std::vector<std::uint32_t> fromTree;
    for (std::size_t j = 0; j < n; ++j) {
        for (const double t : {m_hi[j], -m_lo[j]}) {
            const double sum = s + t;
            const double back = sum - s;
            error += (s - (sum - back)) + (t - back);
            s = sum;
        }
        error += m_beginLo[j] - m_endLo[j];
        begun += m_beginMass[j];
        held += m_magnitude[j];
        out[j] = s + error;
        if (begun > trust * held) {
            fromTree.push_back(static_cast<std::uint32_t>(j));
        }
    }
    if (!fromTree.empty()) {
        // Each row's term added to the nodes that cover its run, and a place's sum gathered
        // from the nodes above it: sums of terms of one sign each.
        m_partial.assign(2 * m_leaves, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            if (m_far[i] != kNear) {
                continue;
            }
            for (std::size_t lo = m_rows->begin[i] + m_leaves, hi = m_rows->end[i] + m_leaves;
                 lo < hi; lo /= 2, hi /= 2) {
                if ((lo & 1U) != 0) {
                    m_partial[lo++] += m_terms[i];
                }
                if ((hi & 1U) != 0) {
                    m_partial[--hi] += m_terms[i];
                }
            }
        }
        for (const std::uint32_t j : fromTree) {
            double sum = 0.0;
            for (std::size_t node = j + m_leaves; node > 0; node /= 2) {
                sum += m_partial[node];
            }
            out[j] = sum;
            ++m_treeRows;
        }
    }
    for (std::size_t j = 0; j < n; ++j) {
        out[j] *= m_columnScale[j];
    }
    if (anyFar) {
        for (const std::uint32_t i : m_farRows) {
            for (std::size_t k = m_farStart[m_far[i]]; k < m_farStart[m_far[i] + 1]; ++k) {
                out[m_farColumn[k]] += m_farValue[k] * x[i];
            }
        }
    }
}

void BalancedMatrix::sumsFromTree(std::span<const double> terms) {
    m_partial.assign(2 * m_leaves, 0.0);
    std::copy(terms.begin(), terms.end(), m_partial.begin() + static_cast<long>(m_leaves));
    for (std::size_t k = m_leaves - 1; k > 0; --k) {
        m_partial[k] = m_partial[2 * k] + m_partial[2 * k + 1];
    }
}

double BalancedMatrix::treeSum(std::size_t begin, std::size_t end) const {
    double sum = 0.0;
    for (std::size_t lo = begin + m_leaves, hi = end + m_leaves; lo < hi; lo /= 2, hi /= 2) {
        if ((lo & 1U) != 0) {
            sum += m_partial[lo++];
        }
        if ((hi & 1U) != 0) {
            sum += m_partial[--hi];
        }
    }
    return sum;
}

} // namespace veltrane
