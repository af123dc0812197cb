#pragma once

// The random words of one cell of a random cascade, and the weights its children draw from
// them. Every cell's words are Philox-4x64 (Random123, 10 rounds) of counters made of the
// cell's level and index under the key (seed, realization): a function of the cell's address
// alone, so that any cell is drawn without drawing any other.
#include "ModelData.h"

#include <Random123/philox.h>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>
#include <veltrane/random.h>

namespace veltrane::detail {

// Cell indices within a level, counted to 128 bits: a level of more cells (b^m > 2^128)
// numbers its cells modulo 2^128.
__extension__ typedef unsigned __int128 CellIndex;

// The ziggurat of the standard normal density in 128 layers of equal area (Marsaglia and
// Tsang's, as Doornik lays it out): x[i] the right end of layer i, x[0] the bottom layer's
// width (its area over the density at x[1] = r), x[128] = 0; ratio[i] = x[i+1] / x[i], the part
// of a layer under the density whatever the height.
struct Ziggurat {
    static constexpr int kLayers = 128;
    static constexpr double kR = 3.442619855899;
    static constexpr double kArea = 9.91256303526217e-3;
    std::array<double, kLayers + 1> x{};
    std::array<double, kLayers> ratio{};
    Ziggurat();
};
inline const Ziggurat& ziggurat() {
    static const Ziggurat tables;
    return tables;
}

class CellStream {
public:
    using Block = r123::Philox4x64::ctr_type;
    // The first words of the cells 2k and 2k + 1 of a level: Philox of the counter (level with
    // its top bit set, k low word, k high word, 0), two words each, so that the two siblings'
    // commonest draws cost one block. A cell's further words come from blocks of its own,
    // counters (level, index low word, index high word, 0, 1, 2, ...).
    static Block pairBlock(std::uint64_t seed, std::uint64_t realization, unsigned level,
                           CellIndex index) {
        const CellIndex pair = index >> 1;
        return r123::Philox4x64{}({{level | kPairFlag, static_cast<std::uint64_t>(pair),
                                    static_cast<std::uint64_t>(pair >> 64), 0}},
                                  {{seed, realization}});
    }

    // The index of child c of the cell (level, parent) of a generator list: the first two words
    // of Philox of the counter (level with bit 62 set, parent low word, parent high word, c), a
    // 128-bit hash of the cell's path from the top. Generator lists split cells unevenly and
    // some not at all, so their cells are numbered by path rather than by position, which would
    // need more than 128 bits within some levels of a cell that does not split.
    static CellIndex childOnPath(std::uint64_t seed, std::uint64_t realization, unsigned level,
                                 CellIndex parent, unsigned c) {
        const Block block =
            r123::Philox4x64{}({{level | kPathFlag, static_cast<std::uint64_t>(parent),
                                 static_cast<std::uint64_t>(parent >> 64), c}},
                               {{seed, realization}});
        return (static_cast<CellIndex>(block[1]) << 64) | block[0];
    }

    CellStream(std::uint64_t seed, std::uint64_t realization, unsigned level, CellIndex index)
        : CellStream(seed, realization, level, index, pairBlock(seed, realization, level, index)) {}
    // A cell whose words all come from blocks of its own: the laws that take four words or more
    // a cell (Dirichlet's two a child), for which a shared block would add a third block to
    // two siblings' four.
    struct OwnBlocks {};
    CellStream(std::uint64_t seed, std::uint64_t realization, unsigned level, CellIndex index,
               OwnBlocks /*tag*/)
        : m_key{{seed, realization}}, m_counter{{level, static_cast<std::uint64_t>(index),
                                                 static_cast<std::uint64_t>(index >> 64), 0}},
          m_block{}, m_next(0), m_end(0) {}
    // With the pair block of index, computed once for both siblings.
    CellStream(std::uint64_t seed, std::uint64_t realization, unsigned level, CellIndex index,
               const Block& pair)
        : m_key{{seed, realization}}, m_counter{{level, static_cast<std::uint64_t>(index),
                                                 static_cast<std::uint64_t>(index >> 64), 0}},
          m_block(pair), m_next(2 * static_cast<unsigned>(index & 1)), m_end(m_next + 2) {}

    std::uint64_t word() {
        if (m_next == m_end) {
            refill();
        }
        return m_block[m_next++];
    }
    // Uniform on (0, 1): (k + 1/2) 2^-53 for the top 53 bits k of a word, never 0 or 1.
    // (The 53 bits go through a signed integer: one conversion instruction, not the several
    // of an unsigned 64-bit one.)
    static double unit(std::uint64_t w) {
        return (static_cast<double>(static_cast<std::int64_t>(w >> 11)) + 0.5) * 0x1p-53;
    }
    double uniform() { return unit(word()); }
    // Uniform on {0, ..., m - 1}, m ≥ 1, without bias (Lemire's multiply and reject).
    std::uint64_t below(std::uint64_t m);
    // A standard normal deviate by the ziggurat: one word a deviate but for about 1.3 in 100,
    // its top 53 bits the abscissa and its low 7 bits the layer. Only exp and log of the C
    // library enter, in the tables and in the rare wedge and tail draws, so a build gives the
    // same deviates on any machine whose C library gives the same exp and log.
    double normal() {
        const Ziggurat& z = ziggurat();
        const std::uint64_t w = word();
        const double u = 2.0 * unit(w) - 1.0;
        const auto layer = static_cast<unsigned>(w & 0x7F);
        if (u < z.ratio[layer] && -u < z.ratio[layer]) {
            return u * z.x[layer];
        }
        return normalBeyond(u, layer);
    }

private:
    double normalBeyond(double u, unsigned layer);
    void refill();
    static constexpr std::uint64_t kPairFlag = std::uint64_t{1} << 63;
    static constexpr std::uint64_t kPathFlag = std::uint64_t{1} << 62;
    r123::Philox4x64::key_type m_key;
    r123::Philox4x64::ctr_type m_counter;
    Block m_block;
    unsigned m_next;
    unsigned m_end;
};

// A Dirichlet parameter a and the constants of its Γ deviates: d = a - 1/3 for a ≥ 1, a + 2/3
// for a < 1 (which draws Γ(a + 1) and scales it), c = 1/√(9d), and the squeeze's k.
struct GammaShape {
    double a;
    double d;
    double c;
    double squeeze;
};
GammaShape gammaShape(double a);

// Law-specific constants computed once: cumulative probabilities of the generators, the
// log-normal's σ and σ²/2, the Dirichlet law's shapes, 1/b.
struct DrawTables {
    explicit DrawTables(const RandomModel::Data& data);
    const RandomModel::Data* data;
    std::vector<double> cumulative;
    double sigma = 0.0;
    double halfSigma2 = 0.0;
    std::vector<GammaShape> shapes;
    bool gammaValues = false; // Γ deviates drawn as values, not as their logarithms
    bool ownBlocks = false;   // each cell's stream starts on a block of its own
    double inverseBase = 0.0;
};

// The stream of the cell (level, index) for the law of tables.
inline CellStream cellStream(const DrawTables& tables, std::uint64_t seed,
                             std::uint64_t realization, unsigned level, CellIndex index) {
    if (tables.ownBlocks) {
        return {seed, realization, level, index, CellStream::OwnBlocks{}};
    }
    return {seed, realization, level, index};
}

// The weights of a cell's children, at most RandomModel::kMaxBase of them.
using Weights = std::array<double, RandomModel::kMaxBase>;

// Each law's draw of the b children's weights into w; the generator list's draw returns the
// generator taken (its weights are its own).
inline void drawLogNormal(const DrawTables& t, CellStream& s, Weights& w) {
    for (unsigned c = 0; c < t.data->base; ++c) {
        w[c] = std::exp(t.sigma * s.normal() - t.halfSigma2) * t.inverseBase;
    }
}
void drawPermutation(const DrawTables& t, CellStream& s, Weights& w);
void drawDirichlet(const DrawTables& t, CellStream& s, Weights& w);
inline void drawTwoValued(const DrawTables& t, CellStream& s, Weights& w) {
    const double p = t.data->values[0];
    // Picked by index rather than by a branch, which a processor would mispredict as often as
    // the law is uncertain.
    const std::array<double, 2> values{t.data->values[2], t.data->values[1]};
    for (unsigned c = 0; c < t.data->base; ++c) {
        w[c] = values[static_cast<std::size_t>(s.uniform() < p)];
    }
}
std::size_t drawGenerator(const DrawTables& t, CellStream& s);

// The children of one cell, whatever the law: their weights (summing to 1 for conservative
// laws, to 1 in expectation for canonical ones) and, for generator lists, the generator drawn.
struct Children {
    std::span<const double> weights;
    std::size_t generator = 0;
    Weights buffer{}; // holds the weights when they are not a generator's own
};
void drawChildren(const DrawTables& tables, CellStream& stream, Children& out);

} // namespace veltrane::detail
