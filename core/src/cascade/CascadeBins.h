#pragma once

// The masses of equal bins by the walk and the split, and the cells of a level followed one by
// one: the ways that take any measure, N and range, which the faster ways for bins that are
// cells and for whole blocks of cells are held to, bit for bit.
#include "CascadeSplit.h"
#include "CascadeWalk.h"

#include <cstdint>
#include <span>
#include <veltrane/cascade.h>
#include <veltrane/run.h>

namespace veltrane {

// Cascade::binMasses by the walk down to the own cell of each bin end and its split, a chunk
// of bins at a time (the ranges already checked).
void walkedBinMasses(const CascadeBranches& branches, const CascadeSplit& split, std::uint64_t bins,
                     std::uint64_t first, std::span<double> out, const RunControl& control);

// Cascade::levelCells with each cell followed down from [0, 1], a step to the next cell
// redoing only the levels whose digit changed (the range already checked).
void followedCells(const CascadeBranches& branches, unsigned levels, std::uint64_t first,
                   std::span<Cascade::Cell> out);

} // namespace veltrane
