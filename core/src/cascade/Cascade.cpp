#include "CascadeBins.h"
#include "CascadeCells.h"
#include "CascadePoint.h"
#include "CascadeSplit.h"
#include "CascadeWalk.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <veltrane/cascade.h>
#include <veltrane/errors.h>
#include <veltrane/maps.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

// Bins that are cells are computed this many at a time between checks for cancellation: some
// milliseconds.
constexpr std::size_t kCellChunk = std::size_t{1} << 20;

// base^exponent, or limit + 1 once it is beyond limit: a map may have more branches than
// 2^64 / limit, where the product itself would wrap around.
std::uint64_t power(std::uint64_t base, unsigned exponent, std::uint64_t limit) {
    if (base <= 1) {
        return base == 0 && exponent > 0 ? 0 : 1; // without a loop over billions of levels
    }
    std::uint64_t result = 1;
    for (unsigned i = 0; i < exponent; ++i) {
        if (result > limit / base) {
            return limit + 1;
        }
        result *= base;
    }
    return result;
}

// Points of cdf and survival, and bin ends of cdfAtBins, go to the threads this many at a
// time: a point takes some hundreds of nanoseconds.
constexpr std::size_t kPointBlock = 1024;

// Throws InputError unless every x is in [0, 1] (NaN is not), naming the first that is not,
// counted from 1.
void checkPoints(std::span<const double> x, std::span<double> out) {
    if (out.size() != x.size()) {
        throw InputError("the output holds " + std::to_string(out.size()) + " values for " +
                         std::to_string(x.size()) + " points");
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (!(x[i] >= 0.0 && x[i] <= 1.0)) {
            throw InputError("point " + std::to_string(i + 1) + " (" + shortest(x[i]) +
                             ") is not in [0, 1]");
        }
    }
}

// j / N to 106 bits, for whole j ≤ N < 2^52: the remainder of the double quotient is exact.
DoubleDouble ratio(std::uint64_t j, std::uint64_t n) {
    const auto jj = static_cast<double>(j);
    const auto nn = static_cast<double>(n);
    const double q = jj / nn;
    return exactSumOrdered(q, std::fma(-q, nn, jj) / nn);
}

// μ([0, x]) (left) or μ([x, 1]) of each point.
void pointMasses(const CascadeBranches& branches, const CascadeSplit& split,
                 std::span<const double> x, std::span<double> out, bool left,
                 const RunControl& control) {
    checkPoints(x, out);
    forEachBlock(x.size(), kPointBlock, control, [&](std::size_t first, std::size_t count) {
        for (std::size_t i = first; i < first + count; ++i) {
            // 1 - x is exact for x ≥ 1/2, and beside a smaller x it is not the nearer end.
            const PointMasses m =
                splitAt(branches, split, DoubleDouble{x[i]}, exactSum(1.0, -x[i]));
            out[i] = left ? m.left : m.right;
        }
        if (control.done != nullptr) {
            *control.done += count;
        }
    });
}

} // namespace

struct Cascade::Tables {
    Tables(std::span<const double> breakPoints, std::vector<double> weights)
        : branches(breakPoints, std::move(weights)), split(branches) {}
    CascadeBranches branches;
    CascadeSplit split;
};

Cascade::Cascade(std::span<const double> breakPoints, std::span<const double> weights) {
    checkBreakPoints(breakPoints);
    m_tables = std::make_shared<const Tables>(breakPoints,
                                              normalizedWeights(weights, breakPoints.size() + 1));
}

std::size_t Cascade::branches() const {
    return m_tables->branches.count();
}

const std::vector<double>& Cascade::weights() const {
    return m_tables->branches.weights;
}

namespace {

// "bins 3 to 9 of 5", "bin 7 of 5", "bins from 8 of 5".
std::string rangeText(const char* what, std::uint64_t first, std::uint64_t count) {
    if (count == 0) {
        return std::string(what) + "s from " + std::to_string(first);
    }
    if (count == 1) {
        return std::string(what) + " " + std::to_string(first);
    }
    return std::string(what) + "s " + std::to_string(first) + " to " +
           std::to_string(first + (count - 1));
}

} // namespace

void Cascade::checkBins(std::uint64_t bins, std::uint64_t first, std::uint64_t count) {
    if (bins < 1 || bins > kMaxBins) {
        throw InputError("the number of bins must be from 1 to " + std::to_string(kMaxBins) +
                         ", not " + std::to_string(bins));
    }
    if (first > bins || count > bins - first) {
        throw InputError(rangeText("bin", first, count) + " of " + std::to_string(bins) +
                         " do not exist");
    }
}

std::uint64_t Cascade::cellCount(unsigned levels) const {
    return power(branches(), levels, kMaxBins);
}

void Cascade::checkCells(unsigned levels, std::uint64_t first, std::uint64_t count) const {
    const std::uint64_t cells = cellCount(levels);
    if (cells > kMaxBins) {
        throw InputError("level " + std::to_string(levels) + " has more than " +
                         std::to_string(kMaxBins) + " cells");
    }
    if (first > cells || count > cells - first) {
        throw InputError(rangeText("cell", first, count) + " of the " + std::to_string(cells) +
                         " of level " + std::to_string(levels) + " do not exist");
    }
}

void Cascade::binMasses(std::uint64_t bins, std::uint64_t first, std::span<double> out,
                        const RunControl& control) const {
    checkBins(bins, first, out.size());
    const std::optional<unsigned> level = levelOfBins(m_tables->branches, bins);
    if (!level) {
        walkedBinMasses(m_tables->branches, m_tables->split, bins, first, out, control);
        return;
    }
    for (std::size_t at = 0; at < out.size(); at += kCellChunk) {
        checkCancelled(control);
        cellBinMasses(m_tables->branches, m_tables->split, *level, first + at,
                      out.subspan(at, std::min(kCellChunk, out.size() - at)));
    }
}

void Cascade::cdf(std::span<const double> x, std::span<double> out,
                  const RunControl& control) const {
    pointMasses(m_tables->branches, m_tables->split, x, out, true, control);
}

void Cascade::survival(std::span<const double> x, std::span<double> out,
                       const RunControl& control) const {
    pointMasses(m_tables->branches, m_tables->split, x, out, false, control);
}

void Cascade::cdfAtBins(std::uint64_t bins, std::uint64_t first, std::span<double> out,
                        const RunControl& control) const {
    if (out.empty()) {
        throw InputError("the distribution function at bin ends needs room for one end at least");
    }
    checkBins(bins, first, out.size() - 1);
    forEachBlock(out.size(), kPointBlock, control, [&](std::size_t from, std::size_t count) {
        for (std::size_t i = from; i < from + count; ++i) {
            const std::uint64_t j = first + i;
            out[i] =
                splitAt(m_tables->branches, m_tables->split, ratio(j, bins), ratio(bins - j, bins))
                    .left;
        }
        if (control.done != nullptr) {
            *control.done += count;
        }
    });
}

void Cascade::levelCells(unsigned levels, std::uint64_t first, std::span<Cell> out) const {
    checkCells(levels, first, out.size());
    cellsOfLevel(m_tables->branches, levels, first, out);
}

} // namespace veltrane
