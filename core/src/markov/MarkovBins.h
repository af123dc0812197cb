#pragma once

// The masses of equal bins of a Markov measure: the map's moves as a cylinder sees its
// sub-cylinders, the stationary law, and the walk and the splits at the bin ends.
#include "DoubleDouble.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>
#include <veltrane/markov_measure.h>
#include <veltrane/run.h>

namespace veltrane::detail {

// The move i -> j as a cylinder ending in piece i sees the sub-cylinder it makes, in the
// coordinate w in [0, 1] of the image of piece i, left to right in [0, 1]: the part
// [offset, offset + length] of that image is piece j (the lengths kept apart, so that what a
// level of a split reads of a move is one line of the cache; only a run of a piece onto itself
// reads its length too).
struct alignas(64) BinMove {
    DoubleDouble offset;  // (left end of piece j - left end of the image) / |image|, exact at 0
    DoubleDouble inverse; // |image| / |piece j|, the factor from w to the coordinate of piece j
    double weight = 0.0;  // P_ij
    double before = 0.0;  // Σ P_ik over the moves left of this one in w, summed from the left
    double after = 0.0;   // and over those to its right, summed from the right
    std::uint32_t to = 0;
};

// The numbers of words of d + 1 pieces from each piece, counts[d n + i] for d below depths,
// kept for the cells of a level: they do not depend on the level asked, so the table of the
// deepest level asked so far serves every level above it, and a range of cells asked a block at
// a time costs the table once, not once a block (levels × moves additions each).
struct MarkovCellCounts {
    std::mutex lock;
    std::shared_ptr<const std::vector<std::uint64_t>> counts;
    std::size_t depths = 0;
};

struct MarkovBinTables {
    std::vector<std::size_t> start; // the moves of piece i are start[i] .. start[i + 1] - 1
    std::vector<BinMove> moves;
    std::vector<DoubleDouble> lengths; // of the moves: |piece j| / |image|
    // The moves' offsets again, side by side for the searches: hi and lo parts.
    std::vector<double> offsetHi;
    std::vector<double> offsetLo;
    // Where the searches start: piece i's buckets[i] = 2^s buckets of w, [b 2^-s, (b + 1) 2^-s),
    // from bucket[firstBucket[i]], each the last move whose offset is at most the bucket's start.
    std::vector<std::uint32_t> bucket;
    std::vector<std::size_t> firstBucket;
    std::vector<double> buckets;
    std::vector<double> left; // the pieces' ends
    std::vector<double> right;
    std::vector<unsigned char> decreasing; // 1 where the branch decreases
    std::vector<double> stationary;        // π
    // The weights of aligned blocks of a piece's moves, so that the weight of any run of them is
    // a sum of at most 2 log2(moves) positive terms: level s of piece i holds the sums of the
    // 2^s moves from j 2^s on (whole blocks only), at blocks[levelStart[firstLevel[i] + s] + j].
    std::vector<double> blocks;
    std::vector<std::size_t> levelStart;
    std::vector<std::size_t> firstLevel;

    // Filled by the cells as they are asked for; shared by the copies of the tables.
    std::shared_ptr<MarkovCellCounts> cellCounts = std::make_shared<MarkovCellCounts>();

    std::size_t pieceCount() const { return left.size(); }
};

// The tables of a measure, checked as MarkovMeasureSolver checks it.
MarkovBinTables markovBinTables(std::span<const MarkovPiece> pieces, const MarkovWeights& weights);

// The stationary law of the chain of the tables' moves, by the Grassmann–Taksar–Heyman
// elimination on the dense matrix: each pivot is the sum of the entries left in its row, so that
// nothing is subtracted and every π_i is within a few units of rounding of itself (times the
// number of pieces). n^2 doubles, about n^3 / 3 multiply-adds where the fill is dense.
std::vector<double> stationaryLaw(const MarkovBinTables& tables);

// MarkovCascade::binMasses once the range is checked.
void markovBinMasses(const MarkovBinTables& tables, std::uint64_t bins, std::uint64_t first,
                     std::span<double> out, const RunControl& control);

} // namespace veltrane::detail
