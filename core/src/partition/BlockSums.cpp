#include "BlockSums.h"

#include "Compensated.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>
#include <veltrane/errors.h>
#include <veltrane/partition.h>
#include <veltrane/text.h>

namespace veltrane {

using detail::MassSource;

namespace {

// The bins one pass over a block takes at a time: their masses, logs and powers stay in the
// first levels of cache, and the passes of the q over them share one log a bin.
constexpr std::size_t kPass = 2048;

// Powers taken as the one before times a common factor before one is taken afresh: each
// product adds a rounding, so a power is within about 16 units of its last place of one taken
// directly, far below what the rounding of q ln μ leaves.
constexpr int kMostProducts = 16;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Brings sum to the scale e^shift (shift ≥ sum.shift); the factor is below 1, so nothing
// overflows, and what falls below the doubles is below 2^-1074 of the largest term.
inline void rescale(ScaledSum& sum, double shift) {
    if (sum.shift == shift) {
        return;
    }
    const double factor = sum.shift == -kInfinity ? 0.0 : std::exp(sum.shift - shift);
    sum.sum *= factor;
    sum.carry *= factor;
    sum.shift = shift;
}

// total + next, on the larger of their scales.
void addScaled(ScaledSum& total, ScaledSum next) {
    if (next.shift == -kInfinity) {
        return;
    }
    const double shift = std::max(total.shift, next.shift);
    rescale(total, shift);
    rescale(next, shift);
    addCompensated(total.sum, total.carry, next.sum);
    total.carry += next.carry;
}

// The sum of the terms, in two interleaved compensated sums (so that each addition need not
// wait for the one before), then added: the same order, and bits, on every call.
ScaledSum sumOf(std::span<const double> terms, double shift) {
    double even = 0.0;
    double evenCarry = 0.0;
    double odd = 0.0;
    double oddCarry = 0.0;
    std::size_t k = 0;
    for (; k + 1 < terms.size(); k += 2) {
        addCompensated(even, evenCarry, terms[k]);
        addCompensated(odd, oddCarry, terms[k + 1]);
    }
    if (k < terms.size()) {
        addCompensated(even, evenCarry, terms[k]);
    }
    addCompensated(even, evenCarry, odd);
    return {shift, even, evenCarry + oddCarry};
}

struct LogRange {
    double least = kInfinity;
    double most = -kInfinity;
};

LogRange logsOf(std::span<const double> masses, std::span<double> logs) {
    LogRange range;
    for (std::size_t k = 0; k < masses.size(); ++k) {
        logs[k] = std::log(masses[k]);
        range.least = std::min(range.least, logs[k]);
        range.most = std::max(range.most, logs[k]);
    }
    return range;
}

[[noreturn]] void throwUnderflow(double q, std::uint64_t bins) {
    throw RuntimeError(ErrorKind::Overflow, "a mass of " + std::to_string(bins) +
                                                " bins is below the doubles (0), and its power " +
                                                shortest(q) + " is beyond them");
}

void checkOrders(std::span<const double> q) {
    for (std::size_t j = 0; j < q.size(); ++j) {
        if (!std::isfinite(q[j])) {
            throw InputError("order " + std::to_string(j + 1) + " (" + shortest(q[j]) +
                             ") must be a finite number");
        }
    }
}

// The orders of one sign, from the one nearest 0 outwards, each power μ^q a pass takes as
// e^(q d) with d = ln μ - L ≤ 0 q (L the largest ln μ of the pass for q > 0, the smallest for
// q < 0), so that every power lies in [0, 1] on the scale e^(q L). Evenly spaced orders take
// each power from the one before times e^(Δq d): one exponential a bin for the whole ladder
// (and one every kMostProducts orders), in place of one a bin and q.
class Ladder {
public:
    Ladder(std::span<const double> q, bool positive) : m_q(q) {
        for (std::size_t j = 0; j < q.size(); ++j) {
            if (positive ? q[j] > 0.0 : q[j] < 0.0) {
                m_orders.push_back(j);
            }
        }
        std::stable_sort(m_orders.begin(), m_orders.end(), [&](std::size_t a, std::size_t b) {
            return std::abs(q[a]) < std::abs(q[b]);
        });
    }

    bool empty() const { return m_orders.empty(); }

    // Adds the powers of the pass whose logs are d + reference into sums, one for each order.
    void addPowers(std::span<const double> d, double reference, std::span<ScaledSum> sums) {
        m_powers.resize(d.size());
        m_factors.resize(d.size());
        double factorStep = 0.0; // the step whose factors m_factors holds; 0: none
        int products = 0;
        for (std::size_t i = 0; i < m_orders.size(); ++i) {
            const double q = m_q[m_orders[i]];
            const double step = i == 0 ? 0.0 : q - m_q[m_orders[i - 1]];
            const bool even = i >= 2 && step == m_q[m_orders[i - 1]] - m_q[m_orders[i - 2]];
            if (i > 0 && step == 0.0) {
                // The same order again: the same powers.
            } else if (!even || products == kMostProducts) {
                for (std::size_t k = 0; k < d.size(); ++k) {
                    m_powers[k] = std::exp(q * d[k]);
                }
                products = 0;
            } else {
                if (factorStep != step) {
                    for (std::size_t k = 0; k < d.size(); ++k) {
                        m_factors[k] = std::exp(step * d[k]);
                    }
                    factorStep = step;
                }
                for (std::size_t k = 0; k < d.size(); ++k) {
                    m_powers[k] *= m_factors[k];
                }
                ++products;
            }
            const double shift = q * reference;
            if (!std::isfinite(shift)) {
                throw RuntimeError(ErrorKind::Overflow, "ln of a mass to the power " + shortest(q) +
                                                            " is beyond the doubles");
            }
            addScaled(sums[m_orders[i]], sumOf(m_powers, shift));
        }
    }

private:
    std::span<const double> m_q;
    std::vector<std::size_t> m_orders;
    std::vector<double> m_powers;
    std::vector<double> m_factors;
};

// Drops the bins of mass 0 from masses, keeping the order of the others; returns how many are
// left.
std::size_t withoutZeros(std::span<double> masses) {
    return static_cast<std::size_t>(std::remove(masses.begin(), masses.end(), 0.0) -
                                    masses.begin());
}

// The sums of one block, from its own first bin. With skipZeros, bins of mass 0 are not
// counted (cells a law gives no mass); otherwise such a bin is an underflow.
void blockSums(const MassSource& source, bool skipZeros, std::uint64_t bins, std::uint64_t block,
               std::span<const double> q, std::span<ScaledSum> out) {
    const std::uint64_t first = block * kPartitionBlock;
    const std::uint64_t end = std::min(bins, first + kPartitionBlock);
    const bool nonpositive = std::any_of(q.begin(), q.end(), [](double v) { return v <= 0.0; });
    Ladder positives(q, true);
    Ladder negatives(q, false);
    std::vector<double> masses(kPass);
    std::vector<double> logs(kPass);
    std::fill(out.begin(), out.end(), ScaledSum{});
    for (std::uint64_t at = first; at < end; at += kPass) {
        auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kPass, end - at));
        source(at, std::span<double>(masses.data(), count));
        if (skipZeros) {
            count = withoutZeros(std::span<double>(masses.data(), count));
            if (count == 0) {
                continue;
            }
        }
        const std::span<double> some(masses.data(), count);
        const std::span<double> d(logs.data(), count);
        const LogRange range = logsOf(some, d);
        if (nonpositive && range.least == -kInfinity) {
            throwUnderflow(*std::min_element(q.begin(), q.end()), bins);
        }
        for (std::size_t j = 0; j < q.size(); ++j) {
            if (q[j] == 0.0) { // the count of the bins, exactly
                addScaled(out[j], {0.0, static_cast<double>(count), 0.0});
            }
        }
        // The logs become d = ln μ - L, for the positive orders and then for the negative.
        if (!negatives.empty()) {
            std::transform(d.begin(), d.end(), some.begin(),
                           [&](double l) { return l - range.least; });
            negatives.addPowers(some, range.least, out);
        }
        if (!positives.empty() && range.most != -kInfinity) { // else every power is 0
            std::transform(d.begin(), d.end(), d.begin(), [&](double l) { return l - range.most; });
            positives.addPowers(d, range.most, out);
        }
    }
}

} // namespace

double logOf(const ScaledSum& sum) {
    return sum.shift == -kInfinity ? -kInfinity : sum.shift + std::log(sum.sum + sum.carry);
}

std::uint64_t partitionBlocks(std::uint64_t bins) {
    return bins / kPartitionBlock + (bins % kPartitionBlock != 0 ? 1 : 0);
}

namespace detail {

std::vector<ScaledSum> blockSumsOf(const MassSource& source, bool skipZeros, std::uint64_t bins,
                                   std::uint64_t firstBlock, std::uint64_t blockCount,
                                   std::span<const double> q, const RunControl& control) {
    Cascade::checkBins(bins, 0, 1);
    checkOrders(q);
    const std::uint64_t blocks = partitionBlocks(bins);
    if (firstBlock > blocks || blockCount > blocks - firstBlock) {
        throw InputError("blocks " + std::to_string(firstBlock) + " to " +
                         std::to_string(firstBlock + blockCount) + " are beyond the " +
                         std::to_string(blocks) + " blocks of " + std::to_string(bins) + " bins");
    }
    std::vector<ScaledSum> sums(static_cast<std::size_t>(blockCount) * q.size());
    forEachBlock(static_cast<std::size_t>(blockCount), 1, control,
                 [&](std::size_t b, std::size_t /*count*/) {
                     const std::uint64_t block = firstBlock + b;
                     blockSums(source, skipZeros, bins, block, q,
                               std::span<ScaledSum>(sums).subspan(b * q.size(), q.size()));
                     if (control.done != nullptr) {
                         *control.done += static_cast<std::size_t>(
                             std::min(bins, (block + 1) * kPartitionBlock) -
                             block * kPartitionBlock);
                     }
                 });
    return sums;
}

} // namespace detail

std::vector<ScaledSum> partitionBlockSums(const Cascade& cascade, std::uint64_t bins,
                                          std::uint64_t firstBlock, std::uint64_t blockCount,
                                          std::span<const double> q, const RunControl& control) {
    return detail::blockSumsOf(
        [&](std::uint64_t first, std::span<double> out) {
            cascade.binMasses(bins, first, out, control);
        },
        false, bins, firstBlock, blockCount, q, control);
}

void foldBlockSums(std::span<ScaledSum> total, std::span<const ScaledSum> blocks) {
    if (total.empty()) {
        return;
    }
    for (std::size_t at = 0; at + total.size() <= blocks.size(); at += total.size()) {
        for (std::size_t j = 0; j < total.size(); ++j) {
            addScaled(total[j], blocks[at + j]);
        }
    }
}

} // namespace veltrane
