#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>
#include <veltrane/errors.h>
#include <veltrane/partition.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

// The bins one pass over a block takes at a time: their masses and logs stay in the first
// levels of cache (2 × 32 KiB), and the passes of the q over them share one log a bin.
constexpr std::size_t kPass = 2048;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Neumaier's compensated addition of x ≥ 0 to a sum of nonnegative terms: the rounding of each
// addition is kept in carry, so that the sum of a block of 2^20 terms is within a few units of
// its last place however the terms compare.
inline void addCompensated(double& sum, double& carry, double x) {
    const double t = sum + x;
    carry += sum >= x ? (sum - t) + x : (x - t) + sum;
    sum = t;
}

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

// Adds μ_k^q = e^(q ln μ_k) for the logs of one pass into sum, on the scale of the pass's
// largest term, so that each term lies in [0, 1].
void addPowers(ScaledSum& sum, double q, std::span<const double> logs, const LogRange& range,
               std::uint64_t bins) {
    if (q <= 0.0 && range.least == -kInfinity) {
        throwUnderflow(q, bins);
    }
    if (q > 0.0 && range.most == -kInfinity) {
        return; // every term is 0
    }
    const double largest = q == 0.0 ? 0.0 : q * (q > 0.0 ? range.most : range.least);
    if (!std::isfinite(largest)) {
        throw RuntimeError(ErrorKind::Overflow,
                           "ln of a mass to the power " + shortest(q) + " is beyond the doubles");
    }
    rescale(sum, std::max(sum.shift, largest));
    const double shift = sum.shift;
    double s = sum.sum;
    double c = sum.carry;
    for (const double l : logs) {
        addCompensated(s, c, std::exp(q * l - shift));
    }
    sum.sum = s;
    sum.carry = c;
}

void checkOrders(std::span<const double> q) {
    for (std::size_t j = 0; j < q.size(); ++j) {
        if (!std::isfinite(q[j])) {
            throw InputError("order " + std::to_string(j + 1) + " (" + shortest(q[j]) +
                             ") must be a finite number");
        }
    }
}

// The sums of one block, from its own first bin.
void blockSums(const Cascade& cascade, std::uint64_t bins, std::uint64_t block,
               std::span<const double> q, std::span<ScaledSum> out, const RunControl& control) {
    const std::uint64_t first = block * kPartitionBlock;
    const std::uint64_t end = std::min(bins, first + kPartitionBlock);
    std::vector<double> masses(kPass);
    std::vector<double> logs(kPass);
    std::fill(out.begin(), out.end(), ScaledSum{});
    for (std::uint64_t at = first; at < end; at += kPass) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kPass, end - at));
        const std::span<double> some(masses.data(), count);
        cascade.binMasses(bins, at, some, control);
        const std::span<double> someLogs(logs.data(), count);
        const LogRange range = logsOf(some, someLogs);
        for (std::size_t j = 0; j < q.size(); ++j) {
            addPowers(out[j], q[j], someLogs, range, bins);
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

std::vector<ScaledSum> partitionBlockSums(const Cascade& cascade, std::uint64_t bins,
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
                     blockSums(cascade, bins, block, q,
                               std::span<ScaledSum>(sums).subspan(b * q.size(), q.size()), control);
                     if (control.done != nullptr) {
                         *control.done += static_cast<std::size_t>(
                             std::min(bins, (block + 1) * kPartitionBlock) -
                             block * kPartitionBlock);
                     }
                 });
    return sums;
}

void foldBlockSums(std::span<ScaledSum> total, std::span<const ScaledSum> blocks) {
    if (total.empty()) {
        return;
    }
    for (std::size_t at = 0; at + total.size() <= blocks.size(); at += total.size()) {
        for (std::size_t j = 0; j < total.size(); ++j) {
            ScaledSum next = blocks[at + j];
            if (next.shift == -kInfinity) {
                continue;
            }
            const double shift = std::max(total[j].shift, next.shift);
            rescale(total[j], shift);
            rescale(next, shift);
            addCompensated(total[j].sum, total[j].carry, next.sum);
            total[j].carry += next.carry;
        }
    }
}

} // namespace veltrane
