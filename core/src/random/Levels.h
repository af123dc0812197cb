#pragma once

// Every level of a realization at once, for the partition sums of an ensemble.
#include <functional>
#include <span>
#include <veltrane/random.h>

namespace veltrane::detail {

// Takes the masses of the cells of one level, in order.
using LevelSink = std::function<void(unsigned level, std::span<const double> masses)>;

// The cells of every level 0 .. levels of a realization of a b-adic law, handed to sink a level
// at a time: level m's masses are those binMasses gives for N = b^m, bit for bit (the
// cascade stopped at level m, for canonical laws), computed in one pass over the levels on
// the calling thread. Memory: the b^levels cells of the last level and of the one before, and
// a level's masses for the sink: 24 bytes a cell of the last level, 40 for the log-normal law,
// whose cells carry their logs to 106 bits.
void forEachLevel(const RandomCascade& cascade, unsigned levels, const LevelSink& sink);

} // namespace veltrane::detail
