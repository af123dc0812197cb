#include "CascadeBins.h"

#include <algorithm>
#include <vector>

namespace veltrane {

namespace {

// Bins are computed this many at a time, which bounds the memory of one call whatever its
// range.
constexpr std::size_t kChunk = 4096;

static_assert(Cascade::kMaxBins < (std::uint64_t{1} << 52),
              "the walk counts bin ends as doubles, rounding cell ends up to them");

// walkedBinMasses for at most kChunk bins: leaves in sums the masses of the cells lying whole in
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

} // namespace

void walkedBinMasses(const CascadeBranches& branches, const CascadeSplit& split, std::uint64_t bins,
                     std::uint64_t first, std::span<double> out, const RunControl& control) {
    const std::size_t count = out.size();
    std::vector<double> sums;
    std::vector<BinEnd> ends;
    for (std::uint64_t start = first; start < first + count; start += kChunk) {
        checkCancelled(control);
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, first + count - start));
        chunk(branches, split, bins, start, n, sums, ends);
        for (std::size_t i = 0; i < n; ++i) {
            out[start - first + i] =
                (sums[start == 0 ? i : i + 1] + ends[i].tail) + ends[i + 1].head;
        }
    }
}

void followedCells(const CascadeBranches& t, unsigned levels, std::uint64_t first,
                   std::span<Cascade::Cell> out) {
    const std::size_t count = out.size();
    const std::size_t n = t.count();
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
