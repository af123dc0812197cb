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

// Up to this many places of a left product are summed again directly, each a pass over the rows,
// rather than through a tree of all of them.
constexpr std::size_t kDirectPlaces = 8;

// Runs of at most this many pieces are summed term by term, the others through running sums.
constexpr std::uint32_t kShortRun = 8;

// e^x for x = hi + lo given as a long double, to about a unit in the last place of the result
// however large |x|: the part of x that rounding to a double leaves out enters to first order.
double exactExp(long double x) {
    const auto hi = static_cast<double>(x);
    const auto lo = static_cast<double>(x - static_cast<long double>(hi));
    return std::exp(hi) * (1.0 + lo);
}

// x as hi + lo.
DoubleDouble split(long double x) {
    const auto hi = static_cast<double>(x);
    return {hi, static_cast<double>(x - static_cast<long double>(hi))};
}

// -b x for x = hi + lo, as hi + lo, exact to a few units of 2^-106 of it.
DoubleDouble scaled(double b, DoubleDouble x) {
    const DoubleDouble p = exactProduct(b, x.hi);
    return {-p.hi, -(p.lo + b * x.lo)};
}

// The ends of the runs of a graph in the order of the places where they lie, each as its row, +1
// where the run begins and -1 where it ends, ends before beginnings at the same place; and for
// each place j, the number of events at places up to j.
void runEvents(const IntervalRows& rows, const std::vector<bool>& taken,
               std::vector<std::uint32_t>& row, std::vector<std::int8_t>& sign,
               std::vector<std::uint32_t>& through) {
    const std::size_t n = rows.size();
    std::vector<std::uint32_t> count(n + 2, 0);
    std::size_t events = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (taken[i]) {
            ++count[rows.begin[i] + 1];
            ++count[rows.end[i] + 1];
            events += 2;
        }
    }
    for (std::size_t k = 1; k < count.size(); ++k) {
        count[k] += count[k - 1];
    }
    through.assign(count.begin() + 1, count.begin() + static_cast<long>(n) + 1);
    row.resize(events);
    sign.resize(events);
    // Ends first at each place: a run that ends at j does not hold j.
    for (const bool ends : {true, false}) {
        for (std::uint32_t i = 0; i < n; ++i) {
            if (!taken[i]) {
                continue;
            }
            const std::uint32_t place = ends ? rows.end[i] : rows.begin[i];
            const std::uint32_t at = count[place]++;
            row[at] = i;
            sign[at] = static_cast<std::int8_t>(ends ? -1 : 1);
        }
    }
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
      m_rowScale(rows.size()), m_far(rows.size(), kNear), m_terms(rows.size()) {
    m_least = frame.potentials.empty()
                  ? 0.0
                  : *std::min_element(frame.potentials.begin(), frame.potentials.end());
    while (m_leaves < rows.size()) {
        m_leaves *= 2;
    }
    // The exponents of the scales over b, to about 2^-106 of themselves: p_j - min p for the
    // columns, g_i - η - p_i + min p for the rows (in long double, from the doubles given).
    const auto eta = static_cast<long double>(frame.mean);
    const auto least = static_cast<long double>(m_least);
    m_columnExponent.resize(rows.size());
    m_rowExponent.resize(rows.size());
    for (std::size_t j = 0; j < rows.size(); ++j) {
        const auto p = static_cast<long double>(frame.potentials[j]);
        m_columnExponent[j] = split(p - least);
        m_rowExponent[j] = split(static_cast<long double>(frame.values[j]) - eta - p + least);
    }
    m_long.resize(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        m_long[i] = rows.end[i] - rows.begin[i] > kShortRun;
        m_anyLong = m_anyLong || m_long[i];
    }
    runEvents(rows, m_long, m_eventRow, m_eventSign, m_through);
}

void BalancedMatrix::setBeta(double b) {
    if (b == m_beta) {
        return;
    }
    m_beta = b;
    const std::size_t n = size();
    bool anyFar = false;
    for (std::size_t j = 0; j < n; ++j) {
        // e^x for x = hi + lo, the part lo that rounding x to a double leaves out entering to
        // first order: a unit in the last place of the scale however large |x|.
        const DoubleDouble column = scaled(b, m_columnExponent[j]);
        m_columnScale[j] =
            column.hi < kLeastColumnLog ? 0.0 : std::exp(column.hi) * (1.0 + column.lo);
        // The row's exponent: b times (min over its run of p) - min p, for optimal p.
        const DoubleDouble row = scaled(b, m_rowExponent[j]);
        if (row.hi <= kCommonScale) {
            m_rowScale[j] = std::exp(row.hi) * (1.0 + row.lo);
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
        const double bound =
            static_cast<double>(static_cast<long double>(kDropped) / beta - rowPart);
        const auto take = [&](std::uint32_t j) {
            m_farColumn.push_back(j);
            m_farValue.push_back(exactExp(-beta * (rowPart + static_cast<long double>(p[j]))));
        };
        if (m_long[i]) {
            m_tree->below(m_rows->begin[i], m_rows->end[i], bound, take);
        } else {
            for (std::uint32_t j = m_rows->begin[i]; j < m_rows->end[i]; ++j) {
                if (p[j] <= bound) {
                    take(j);
                }
            }
        }
        m_farStart.push_back(m_farColumn.size());
    }
}

void BalancedMatrix::right(std::span<const double> x, std::span<double> out) {
    const std::size_t n = size();
    for (std::size_t j = 0; j < n; ++j) {
        m_terms[j] = m_columnScale[j] * x[j];
    }
    // Running sums in double-double: hi the rounded sum, lo the rounding errors gathered (exact
    // by the two-sum), off the chain of dependent additions; only where some run is long.
    m_hi.resize(n + 1);
    m_lo.resize(n + 1);
    m_magnitude.resize(n + 1);
    double s = 0.0;
    double error = 0.0;
    double mass = 0.0;
    m_hi[0] = m_lo[0] = m_magnitude[0] = 0.0;
    for (std::size_t k = 0; m_anyLong && k < n; ++k) {
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
        if (!m_long[i]) {
            double sum = 0.0;
            for (std::uint32_t j = b; j < e; ++j) {
                sum += m_terms[j];
            }
            out[i] = m_rowScale[i] * sum;
            continue;
        }
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
    // out_j sums the terms of the rows whose runs hold j: a running sum in double-double over the
    // ends of the runs in the order of their places, each row's term added where its run begins
    // and taken away where it ends; out_j is the sum after the last event at a place up to j. Its
    // error is a few units of 2^-106 of the terms begun so far, times their number at most;
    // where that is too much of the terms that hold j, the place's sum is taken again from a
    // tree of partial sums of terms of one sign.
    bool anyFar = false;
    bool signed_ = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (m_far[i] != kNear) {
            anyFar = true;
            m_terms[i] = 0.0;
            continue;
        }
        m_terms[i] = m_rowScale[i] * x[i];
        signed_ = signed_ || m_terms[i] < 0.0;
    }
    const std::size_t events = m_eventRow.size();
    m_hi.resize(events + 1);
    m_lo.resize(events + 1);
    m_magnitude.resize(events + 1);
    m_held.resize(signed_ ? events + 1 : 0);
    double s = 0.0;
    double error = 0.0;
    double begun = 0.0; // the magnitudes of every term begun so far: the sums' scale
    double held = 0.0;  // those of the runs holding the place, in plain double
    m_hi[0] = m_lo[0] = m_magnitude[0] = 0.0;
    if (signed_) {
        m_held[0] = 0.0;
    }
    for (std::size_t k = 0; k < events; ++k) {
        const double term = m_terms[m_eventRow[k]];
        const double t = m_eventSign[k] > 0 ? term : -term;
        const double sum = s + t;
        const double back = sum - s;
        error += (s - (sum - back)) + (t - back);
        s = sum;
        m_hi[k + 1] = s;
        m_lo[k + 1] = error;
        begun += m_eventSign[k] > 0 ? std::fabs(term) : 0.0;
        m_magnitude[k + 1] = begun;
        if (signed_) {
            held += m_eventSign[k] > 0 ? std::fabs(term) : -std::fabs(term);
            m_held[k + 1] = held;
        }
    }
    const double trust = kPrefixTrust / (static_cast<double>(n) * 0x1p-104);
    std::vector<std::uint32_t> fromTree;
    bool backward = false;
    for (std::size_t j = 0; j < n; ++j) {
        const std::uint32_t k = m_through[j];
        out[j] = m_hi[k] + m_lo[k];
        if (m_magnitude[k] > trust * (signed_ ? m_held[k] : out[j])) {
            fromTree.push_back(static_cast<std::uint32_t>(j));
            backward = true;
        }
    }
    if (backward) {
        // The same sum from the other end, where the terms of runs that lie before j, which the
        // running sum from the start carries, do not count: most places the sum from the start
        // could not give, this one can.
        std::vector<std::uint32_t> still;
        double sb = 0.0;
        double eb = 0.0;
        double mb = 0.0;
        std::size_t k = events;
        for (std::size_t j = n; j-- > 0;) {
            // The events after place j, from the last: a run that ends after j is taken in as it
            // ends, and left out as it begins after j.
            for (; k > m_through[j]; --k) {
                const double term = m_terms[m_eventRow[k - 1]];
                const double t = m_eventSign[k - 1] > 0 ? -term : term;
                const double sum = sb + t;
                const double back = sum - sb;
                eb += (sb - (sum - back)) + (t - back);
                sb = sum;
                mb += m_eventSign[k - 1] < 0 ? std::fabs(term) : 0.0;
            }
            if (std::binary_search(fromTree.begin(), fromTree.end(),
                                   static_cast<std::uint32_t>(j))) {
                const double value = sb + eb;
                if (!signed_ && mb <= trust * value) {
                    out[j] = value;
                } else {
                    still.push_back(static_cast<std::uint32_t>(j));
                }
            }
        }
        std::sort(still.begin(), still.end());
        fromTree = std::move(still);
    }
    if (!fromTree.empty() && fromTree.size() <= kDirectPlaces) {
        // A few places: each sum taken again from the rows whose runs hold it, in double-double.
        for (const std::uint32_t j : fromTree) {
            double sum = 0.0;
            double err = 0.0;
            for (std::size_t i = 0; i < n; ++i) {
                if (m_long[i] && m_rows->begin[i] <= j && j < m_rows->end[i]) {
                    const DoubleDouble d = exactSum(sum, m_terms[i]);
                    sum = d.hi;
                    err += d.lo;
                }
            }
            out[j] = sum + err;
            ++m_treeRows;
        }
        fromTree.clear();
    }
    if (!fromTree.empty()) {
        // Each row's term added to the nodes that cover its run, and a place's sum gathered
        // from the nodes above it: sums of terms of one sign each.
        m_partial.assign(2 * m_leaves, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            if (m_far[i] != kNear || !m_long[i]) {
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
    // The rows of short runs, term by term.
    for (std::size_t i = 0; i < n; ++i) {
        if (m_far[i] == kNear && !m_long[i]) {
            for (std::uint32_t j = m_rows->begin[i]; j < m_rows->end[i]; ++j) {
                out[j] += m_terms[i];
            }
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
