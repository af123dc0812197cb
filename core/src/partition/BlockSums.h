#pragma once

// The partition sums' block loop over any source of bin masses.
#include <cstdint>
#include <functional>
#include <span>
#include <vector>
#include <veltrane/partition.h>

namespace veltrane::detail {

// Fills its span with the masses of the bins from its first argument on.
using MassSource = std::function<void(std::uint64_t first, std::span<double> out)>;

// partitionBlockSums over the masses source gives; with skipZeros, bins of mass 0 are left out
// of every sum (cells a law gives no mass), otherwise one is an underflow for q ≤ 0.
std::vector<ScaledSum> blockSumsOf(const MassSource& source, bool skipZeros, std::uint64_t bins,
                                   std::uint64_t firstBlock, std::uint64_t blockCount,
                                   std::span<const double> q, const RunControl& control);

// What a row of ln Z_q(N) is checked against: the mass of a conservative measure is 1 and every
// bin is counted; a canonical realization's mass Z_1 is its own, and bins of mass 0 may be
// left out, so Z_0 is at most N.
struct PartitionBounds {
    bool unitMass = true;
    bool everyBin = true;
};

// partitionResult under the given bounds.
PartitionSums checkedPartition(std::vector<std::uint64_t> bins, std::vector<double> q,
                               std::vector<double> logZ, PartitionBounds bounds);

// ln Z_q(N) for each N of bins, sorted, row(N) giving the logs of one N, checked under bounds.
// Throws InputError for no N, an N twice, or no q.
PartitionSums sumsByRow(std::span<const std::uint64_t> bins, std::span<const double> q,
                        const std::function<std::vector<double>(std::uint64_t)>& row,
                        PartitionBounds bounds);

// The bins sorted, each checked, none twice.
std::vector<std::uint64_t> sortedBins(std::span<const std::uint64_t> bins);

} // namespace veltrane::detail
