#include "BlockSums.h"
#include "Levels.h"
#include "ModelData.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <map>
#include <vector>
#include <veltrane/errors.h>
#include <veltrane/partition.h>
#include <veltrane/random.h>

namespace veltrane {

namespace {

// A two-valued law with v = 0 gives cells no mass: they are not bins of the measure's support
// and are left out of the sums. Any other mass of 0 is an underflow.
bool lawHasEmptyCells(const RandomModel& model) {
    return model.kind() == RandomModel::Kind::TwoValued && model.values()[2] == 0.0;
}

// The most values an ensemble's sums hold: 32 GiB of doubles.
constexpr std::uint64_t kMostEnsembleValues = std::uint64_t{1} << 32;

// Each realization's levels are kept whole when all N are powers of b up to this many cells:
// at most 40 MiB a thread (Levels.h).
constexpr std::uint64_t kMostLevelCells = std::uint64_t{1} << 20;

// The levels m with N = b^m for every N of bins, if there are such and b^m is at most
// kMostLevelCells; empty otherwise.
std::vector<unsigned> levelsOf(const RandomModel& model, std::span<const std::uint64_t> bins) {
    const unsigned base = model.base();
    std::vector<unsigned> levels;
    for (const std::uint64_t n : bins) {
        unsigned m = 0;
        std::uint64_t cells = 1;
        while (base > 0 && cells < n && cells <= kMostLevelCells / base) {
            cells *= base;
            ++m;
        }
        if (base == 0 || cells != n) {
            return {};
        }
        levels.push_back(m);
    }
    return levels;
}

detail::PartitionBounds boundsOf(const RandomModel& model) {
    return {model.conservative(), !lawHasEmptyCells(model)};
}

// ln Z_q(b^m) of one realization for the sorted N of bins (levels their m), from one pass over
// its levels: the same masses partitionBlockSums takes one N at a time, so the same bits.
// The logs of the sums of blocks, folded in order.
std::vector<double> foldedLogs(std::span<const ScaledSum> blocks, std::size_t orders) {
    std::vector<ScaledSum> total(orders);
    foldBlockSums(total, blocks);
    std::vector<double> logs(orders);
    std::transform(total.begin(), total.end(), logs.begin(),
                   [](const ScaledSum& sum) { return logOf(sum); });
    return logs;
}

// ln Z_q(b^m) of one realization for the N of bins (levels their m), from one pass over its
// levels: the same masses partitionBlockSums takes one N at a time, so the same bits.
PartitionSums levelSums(const RandomCascade& cascade, std::span<const std::uint64_t> bins,
                        std::span<const unsigned> levels, std::span<const double> q) {
    const bool skipZeros = lawHasEmptyCells(cascade.model());
    std::map<std::uint64_t, std::vector<double>> rows;
    const unsigned deepest = *std::max_element(levels.begin(), levels.end());
    detail::forEachLevel(cascade, deepest, [&](unsigned m, std::span<const double> masses) {
        if (std::find(levels.begin(), levels.end(), m) == levels.end()) {
            return;
        }
        const std::uint64_t n = masses.size();
        const auto copy = [&](std::uint64_t first, std::span<double> out) {
            std::copy_n(masses.begin() + static_cast<std::ptrdiff_t>(first), out.size(),
                        out.begin());
        };
        rows[n] = foldedLogs(
            detail::blockSumsOf(copy, skipZeros, n, 0, partitionBlocks(n), q, RunControl{1}),
            q.size());
    });
    return detail::sumsByRow(
        bins, q, [&](std::uint64_t n) { return rows.at(n); }, boundsOf(cascade.model()));
}

} // namespace

std::vector<ScaledSum> partitionBlockSums(const RandomCascade& cascade, std::uint64_t bins,
                                          std::uint64_t firstBlock, std::uint64_t blockCount,
                                          std::span<const double> q, const RunControl& control) {
    const RunControl one{1, nullptr, control.cancel};
    return detail::blockSumsOf(
        [&](std::uint64_t first, std::span<double> out) {
            cascade.binMasses(bins, first, out, 0, one);
        },
        lawHasEmptyCells(cascade.model()), bins, firstBlock, blockCount, q, control);
}

PartitionSums partitionSums(const RandomCascade& cascade, std::span<const std::uint64_t> bins,
                            std::span<const double> q, const RunControl& control) {
    return detail::sumsByRow(
        bins, q,
        [&](std::uint64_t n) {
            std::vector<ScaledSum> total(q.size());
            foldBlockSums(total, partitionBlockSums(cascade, n, 0, partitionBlocks(n), q, control));
            std::vector<double> logs(q.size());
            std::transform(total.begin(), total.end(), logs.begin(),
                           [](const ScaledSum& sum) { return logOf(sum); });
            return logs;
        },
        boundsOf(cascade.model()));
}

std::vector<double> ensembleLogSums(const RandomModel& model, std::uint64_t seed,
                                    std::uint64_t first, std::uint64_t count,
                                    std::span<const std::uint64_t> bins, std::span<const double> q,
                                    const RunControl& control) {
    const std::size_t row = bins.size() * q.size();
    // Realizations numbered within 64 bits, and a result the memory can hold (8 bytes a value).
    if ((count > 0 && count - 1 > std::numeric_limits<std::uint64_t>::max() - first) ||
        (row > 0 && count > kMostEnsembleValues / row)) {
        throw InputError("an ensemble of " + std::to_string(count) + " realizations from " +
                         std::to_string(first) + " at " + std::to_string(bins.size()) +
                         " numbers of bins and " + std::to_string(q.size()) +
                         " orders: realizations are numbered below 2^64, and a result holds at "
                         "most 2^32 values");
    }
    std::vector<double> logZ(static_cast<std::size_t>(count) * row);
    const RunControl one{1, nullptr, control.cancel};
    const std::vector<std::uint64_t> sorted = detail::sortedBins(bins);
    if (q.empty()) {
        throw InputError("the partition sums need at least one order q");
    }
    // The levels of the sorted N, when every N is one.
    const std::vector<unsigned> levels = levelsOf(model, sorted);
    forEachBlock(
        static_cast<std::size_t>(count), 1, control, [&](std::size_t r, std::size_t /*count*/) {
            const RandomCascade cascade(model, seed, first + r);
            const PartitionSums sums = levels.empty() ? partitionSums(cascade, sorted, q, one)
                                                      : levelSums(cascade, sorted, levels, q);
            // Back to the order the bins were given in.
            for (std::size_t i = 0; i < bins.size(); ++i) {
                const auto at = static_cast<std::size_t>(
                    std::lower_bound(sums.bins.begin(), sums.bins.end(), bins[i]) -
                    sums.bins.begin());
                std::copy_n(sums.logZ.begin() + static_cast<std::ptrdiff_t>(at * q.size()),
                            q.size(),
                            logZ.begin() + static_cast<std::ptrdiff_t>(r * row + i * q.size()));
            }
            if (control.done != nullptr) {
                *control.done += 1;
            }
        });
    return logZ;
}

} // namespace veltrane
