#include "BlockSums.h"
#include "ModelData.h"

#include <algorithm>
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
    std::vector<std::uint64_t> sorted = detail::sortedBins(bins);
    if (q.empty()) {
        throw InputError("the partition sums need at least one order q");
    }
    std::vector<double> logZ;
    logZ.reserve(sorted.size() * q.size());
    for (const std::uint64_t n : sorted) {
        std::vector<ScaledSum> total(q.size());
        foldBlockSums(total, partitionBlockSums(cascade, n, 0, partitionBlocks(n), q, control));
        std::transform(total.begin(), total.end(), std::back_inserter(logZ),
                       [](const ScaledSum& sum) { return logOf(sum); });
    }
    const RandomModel& model = cascade.model();
    return detail::checkedPartition(std::move(sorted), {q.begin(), q.end()}, std::move(logZ),
                                    {model.conservative(), !lawHasEmptyCells(model)});
}

std::vector<double> ensembleLogSums(const RandomModel& model, std::uint64_t seed,
                                    std::uint64_t first, std::uint64_t count,
                                    std::span<const std::uint64_t> bins, std::span<const double> q,
                                    const RunControl& control) {
    const std::size_t row = bins.size() * q.size();
    std::vector<double> logZ(static_cast<std::size_t>(count) * row);
    const RunControl one{1, nullptr, control.cancel};
    forEachBlock(
        static_cast<std::size_t>(count), 1, control, [&](std::size_t r, std::size_t /*count*/) {
            const PartitionSums sums =
                partitionSums(RandomCascade(model, seed, first + r), bins, q, one);
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
