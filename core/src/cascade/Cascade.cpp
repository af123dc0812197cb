#include "CascadePoint.h"
#include "CascadeSplit.h"
#include "CascadeWalk.h"

#include <algorithm>
#include <utility>
#include <veltrane/cascade.h>
#include <veltrane/errors.h>
#include <veltrane/maps.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

// Bins are computed this many at a time, which bounds the memory of one call whatever its
// range.
constexpr std::size_t kChunk = 4096;

static_assert(Cascade::kMaxBins < (std::uint64_t{1} << 52),
              "the walk counts bin ends as doubles, rounding cell ends up to them");

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

// binMasses for at most kChunk bins: leaves in sums the masses of the cells lying whole in
// each bin, from bin first - 1 when there is one, and in ends the splits of the cells of bin
// ends first .. first + count.
void chunk(const CascadeBranches& branches, const CascadeSplit& split, std::uint64_t bins,
           std::uint64_t first, std::size_t count, std::vector<double>& sums,
           std::vector<BinEnd>& ends) {
    // The bins on either side of the range too, for the ends at its edges: their splits
    // depend on the whole bins beside them, so that a bin does not depend on the range.
    WalkRange range;
    range.bins = bins;
    range.firstBin = first == 0 ? 0 : first - 1;
    range.lastBin = std::min(first + count, bins - 1);
    range.firstEnd = first;
    range.lastEnd = first + count;
    sums.assign(range.lastBin - range.firstBin + 1, 0.0);
    ends.assign(count + 1, BinEnd{});
    walkCells(branches, range, sums.data(), ends.data());
    for (std::size_t i = 0; i <= count; ++i) {
        const std::uint64_t j = first + i; // bin end j, between bins j - 1 and j
        ends[i].leftBin = j > range.firstBin ? sums[j - 1 - range.firstBin] : 0.0;
        ends[i].rightBin = j <= range.lastBin ? sums[j - range.firstBin] : 0.0;
    }
    split.settle(ends.data(), ends.size());
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
    const std::size_t count = out.size();
    checkBins(bins, first, count);
    std::vector<double> sums;
    std::vector<BinEnd> ends;
    for (std::uint64_t start = first; start < first + count; start += kChunk) {
        checkCancelled(control);
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, first + count - start));
        chunk(m_tables->branches, m_tables->split, bins, start, n, sums, ends);
        for (std::size_t i = 0; i < n; ++i) {
            out[start - first + i] =
                (sums[start == 0 ? i : i + 1] + ends[i].tail) + ends[i + 1].head;
        }
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
    const std::size_t count = out.size();
    checkCells(levels, first, count);
    const std::size_t n = branches();
    // The digits of the current cell, most significant first, and the left end, width and
    // mass of each of its ancestors; a step to the next cell redoes only the levels whose
    // digit changed.
    std::vector<std::size_t> digit(levels);
    std::vector<DoubleDouble> left(levels + 1);
    std::vector<DoubleDouble> width(levels + 1, DoubleDouble{1.0});
    std::vector<double> mass(levels + 1, 1.0);
    std::uint64_t rest = first;
    for (unsigned m = levels; m-- > 0;) {
        digit[m] = static_cast<std::size_t>(rest % n);
        rest /= n;
    }
    const CascadeBranches& t = m_tables->branches;
    unsigned from = 0;
    for (std::size_t c = 0; c < count; ++c) {
        for (unsigned m = from; m < levels; ++m) {
            left[m + 1] = left[m] + width[m] * t.breaks[digit[m]];
            width[m + 1] = width[m] * t.lengths[digit[m]];
            mass[m + 1] = mass[m] * t.weights[digit[m]];
        }
        out[c] = {left[levels].hi + left[levels].lo, width[levels].hi + width[levels].lo,
                  mass[levels]};
        from = levels;
        while (from > 0 && ++digit[from - 1] == n) {
            digit[--from] = 0;
        }
        from = from > 0 ? from - 1 : 0;
    }
}

} // namespace veltrane
