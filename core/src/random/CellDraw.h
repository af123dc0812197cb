#pragma once

// The random words of one cell of a random cascade, and the weights its children draw from
// them. Every cell's words are Philox-4x64 (Random123, 10 rounds) of the counter (level, index
// low word, index high word, word number) under the key (seed, realization): a function of the
// cell's address alone, so that any cell is drawn without drawing any other.
#include <cstdint>
#include <span>
#include <vector>
#include <veltrane/random.h>

#include "ModelData.h"

namespace veltrane::detail {

// Cell indices within a level, counted to 128 bits: a level of more cells (b^m > 2^128)
// numbers its cells modulo 2^128.
__extension__ typedef unsigned __int128 CellIndex;

class CellStream {
public:
    CellStream(std::uint64_t seed, std::uint64_t realization, unsigned level, CellIndex index);

    std::uint64_t word();
    // Uniform on (0, 1): (k + 1/2) 2^-53 for the top 53 bits k of a word, never 0 or 1.
    double uniform();
    // Uniform on {0, ..., m - 1}, m ≥ 1, without bias (Lemire's multiply and reject).
    std::uint64_t below(std::uint64_t m);
    // A standard normal deviate by Marsaglia's polar method: pairs of uniforms on (-1, 1)
    // inside the unit disc, each pair two deviates, the second kept for the next call. Only
    // sqrt (correctly rounded everywhere) and log (the C library's) enter, so a build gives the
    // same deviates on any machine whose C library gives the same logarithms.
    double normal();

private:
    void refill();
    std::uint64_t m_key[2];
    std::uint64_t m_counter[4];
    std::uint64_t m_block[4] = {};
    unsigned m_next = 4;
    double m_spare = 0.0;
    bool m_hasSpare = false;
};

// The children of one cell: their weights (summing to 1 for conservative laws, to E 1 for
// canonical ones) and, for generator lists, the generator drawn.
struct Children {
    std::span<const double> weights;
    std::size_t generator = 0;
    std::vector<double> buffer; // holds the weights when they are not a generator's own
};

// Law-specific constants computed once: cumulative probabilities of the generators, the
// log-normal's σ and σ²/2, 1/b.
struct DrawTables {
    explicit DrawTables(const RandomModel::Data& data);
    const RandomModel::Data* data;
    std::vector<double> cumulative;
    double sigma = 0.0;
    double halfSigma2 = 0.0;
    double inverseBase = 0.0;
};

void drawChildren(const DrawTables& tables, CellStream& stream, Children& out);

} // namespace veltrane::detail
