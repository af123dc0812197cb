#pragma once

// The cells of a level a block at a time, and equal bins that are the cells of a level.
#include "CascadeSplit.h"
#include "CascadeWalk.h"

#include <cstdint>
#include <optional>
#include <span>
#include <veltrane/cascade.h>

namespace veltrane {

// The level J whose cells are the N = bins equal bins: every branch of one length, to the last
// bit, which only n = 2^s branches of length 2^-s have, and N = n^J. None otherwise, and none
// where a branch takes long runs, whose cells the walk forms in closed form rather than as
// products.
std::optional<unsigned> levelOfBins(const CascadeBranches& branches, std::uint64_t bins);

// Cascade::binMasses for N = n^J bins that are the cells of level J = levels (levelOfBins):
// each the product of its J weights from the first level down, as the walk forms it, handed
// through the split's own operations for an end on its cell's left end, so the same bits as
// the walk and the split give, at the cost of about a product a bin.
void cellBinMasses(const CascadeBranches& branches, const CascadeSplit& split, unsigned levels,
                   std::uint64_t first, std::span<double> out);

// Cascade::levelCells, the same bits as following each cell down from [0, 1]: the last levels
// are expanded a block at a time, each cell from its parent by the same operations (left end
// plus width times break point and width times length with 106 bits, mass times weight), and
// the levels above a block are followed once for it. Where the branches are of one length every
// end and width is exact, and the left end is c 2^-sM itself.
void cellsOfLevel(const CascadeBranches& branches, unsigned levels, std::uint64_t first,
                  std::span<Cascade::Cell> out);

} // namespace veltrane
