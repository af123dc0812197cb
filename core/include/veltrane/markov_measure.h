#pragma once

// Markov (Gibbs) measures on piecewise-linear Markov maps and their exact multifractal spectrum.
//
// A stochastic matrix P on the moves of a Markov map (P_ij > 0 exactly where the image of piece
// i covers piece j, each row summing to 1) and its stationary law π give the cylinder
// [i_0 i_1 … i_m] the measure π_{i_0} P_{i_0 i_1} ⋯ P_{i_{m-1} i_m}. With the transfer matrix
// M_ij(q, τ) = A_ij P_ij^q |s_i|^τ, the partition-function exponent τ(q) (Σ_I μ(I)^q ≈ |I|^τ,
// exponents.h) is the root of ρ(M(q, τ)) = 1, so τ(0) = -1 and τ(1) = 0; α(q) = τ'(q) comes from
// the left and right Perron vectors u, v by the implicit function theorem,
//     α = Σ u_i M_ij v_j (-ln P_ij) / Σ u_i M_ij v_j ln|s_i|,
// and f = q α - τ. α runs from the smallest to the largest ratio, over the cycles of the
// transition graph, of Σ -ln P_ij to Σ ln|s_i|.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include <veltrane/cascade.h>
#include <veltrane/exponents.h>
#include <veltrane/export.h>
#include <veltrane/markov.h>
#include <veltrane/multifractal.h>
#include <veltrane/run.h>

namespace veltrane {

// The weights of a Markov measure: row i holds the weights of the moves from piece i to the
// pieces its image covers, left to right in [0, 1] (whether the piece increases or decreases),
// raw positive numbers that are normalised to sum 1 a row.
using MarkovWeights = std::vector<std::vector<double>>;

// The most moves a Markov measure may have, held as a weight and a column each (12 bytes): a map
// whose pieces cover more pieces than this in all is refused.
inline constexpr std::size_t kMostMoves = std::size_t{1} << 24;

// Reads the weights of a Markov measure on the map of pieces, one line a piece in the pieces'
// order, the weights of its moves in the order of the pieces its image covers, blanks between
// them; "#" starts a comment to the end of the line and blank lines are skipped. A number has at
// most 64 characters; a line at most 4,096 bytes plus 65 a weight it holds. Refused at once with
// the line (and the column where there is one), as InputError: a text that is not a number, a
// weight that is not positive and finite (WeightError), a line with more weights than its piece
// has moves (a weight on a move the map does not allow) or fewer (a move missing), more lines
// than pieces or fewer. The pieces are checked as MarkovSolver checks them.
class VELTRANE_API MarkovWeightReader {
public:
    explicit MarkovWeightReader(std::span<const MarkovPiece> pieces,
                                std::string localeSeparator = ".");
    ~MarkovWeightReader();
    MarkovWeightReader(const MarkovWeightReader&) = delete;
    MarkovWeightReader& operator=(const MarkovWeightReader&) = delete;

    void feed(std::string_view bytes);
    MarkovWeights finish();

private:
    class Lines;
    std::unique_ptr<Lines> m_lines;
};

// MarkovWeightReader over a whole stream; a failing stream is reported as unreadable.
VELTRANE_API MarkovWeights readMarkovWeights(std::istream& in, std::span<const MarkovPiece> pieces,
                                             std::string_view localeSeparator = ".");

namespace detail {
class MarkovMeasureModel;
} // namespace detail

// The exact multifractal spectrum of a Markov measure, in double precision, with the results of
// MultifractalSolver (β = -τ in their beta fields). Where every piece covers [0, 1] and the rows
// of P are equal the measure is the Bernoulli measure of that row on the map's branches, and
// every value is MultifractalSolver's for the break points and the first row, bit for bit.
// Copies share the measure; any thread may call the const functions at once.
class VELTRANE_API MarkovMeasureSolver {
public:
    // Throws InputError as MarkovSolver does for the pieces, and for more than kMostMoves moves;
    // WeightError for rows that are not one a piece, a row whose length is not its piece's number
    // of moves, and weights that are not positive and finite.
    MarkovMeasureSolver(std::span<const MarkovPiece> pieces, const MarkovWeights& weights);

    std::size_t pieceCount() const;
    // Whether the measure is a Bernoulli measure, whose values are MultifractalSolver's.
    bool bernoulli() const;

    // The range of α: the smallest and the largest cycle ratio Σ -ln P_ij / Σ ln|s_i|, to a few
    // units of rounding of the ratios. When they lie within MultifractalSolver::kRatioTolerance
    // of each other every cycle has the same ratio, which is then 1 (the measure is the length's
    // own), and both are reported as 1.
    double alphaMin() const;
    double alphaMax() const;
    bool singlePoint() const;

    // τ(q) for a finite q: exactly -1 at q = 0 and 0 at q = 1, elsewhere within about 1e-14 of
    // max(1, |τ|) for |q| up to some hundreds. Throws InputError for a q that is not finite,
    // RuntimeError (overflow) where the transfer matrix's entries leave the doubles.
    double tau(double q) const;

    // The exponents of order q in every convention (exponents.h), h(q) and D_q each formed from
    // α at three orders (Simpson's rule) where q is within 1e-3 of 0 and 1, where (τ + 1) / q and
    // τ / (q - 1) would lose their digits. Unchecked; throws as tau().
    Exponents exponents(double q) const;
    // The exponents at each of qs into out (of the same length) over the threads control asks
    // for, the same bits on any number; checked before they are handed on as
    // MultifractalSolver::exponentsMany checks them, and τ(0) = -1, τ(1) = 0 exactly.
    void exponentsMany(std::span<const double> qs, std::span<Exponents> out,
                       const RunControl& control) const;

    // The point of order q: α(q), f = q α - τ and β = -τ. Throws as tau().
    MultifractalPoint atQ(double q) const;
    // The point at α: the order q where α(q) = α, found within a few units of rounding of q, and
    // f = q α - τ(q), which that error moves only to second order. At or beyond an end, the end:
    // f the dimension of the cycles attaining its ratio (0 for a single cycle), q and β infinite.
    MultifractalPoint atAlpha(double alpha) const;
    // D_q = τ / (q - 1), α(1) at q = 1.
    DqPoint dq(double q) const;

    // points ≥ 2 evenly spaced α from alphaMin to alphaMax, as MultifractalSolver::spectrum, in
    // blocks of kSpectrumBlock over the threads, the same bits on any number; each point checked
    // against SpectrumBounds before it is handed on. Throws InputError for points < 2, Cancelled
    // through control.
    MultifractalSpectrum spectrum(std::size_t points, const RunControl& control = {}) const;
    long spectrum(std::size_t points, const RunControl& control,
                  const PointSink<MultifractalPoint>& sink) const;

    // The rows of D_q at q = from + k step, k = 0 .. count - 1, checked as
    // MultifractalSolver::dqRows checks them.
    void dqRows(double from, double step, std::size_t count, const RunControl& control,
                const PointSink<DqPoint>& sink) const;

private:
    std::shared_ptr<const detail::MarkovMeasureModel> m_model;
};

namespace detail {
struct MarkovBinTables;
} // namespace detail

// The same measure as data: the masses of N equal bins of [0, 1], as Cascade::binMasses gives
// those of a self-similar measure. A cylinder [i_0 … i_m] is an interval, piece i_0's part that
// the map takes through pieces i_1 … i_m in turn, of length |piece i_m| over |s_{i_0} ⋯
// s_{i_{m-1}}| and mass π_{i_0} P_{i_0 i_1} ⋯ P_{i_{m-1} i_m}; a decreasing branch reverses the
// order of its sub-cylinders. Immutable; its functions may run on any number of threads at once.
class VELTRANE_API MarkovCascade {
public:
    // The most pieces of a map whose bins are computed: the stationary law is found by a dense
    // elimination (n^3 / 3 multiply-adds, some seconds at this size, 32 MiB).
    static constexpr std::size_t kMostPieces = 2048;

    // Throws as MarkovMeasureSolver's constructor, and InputError for more than kMostPieces
    // pieces.
    MarkovCascade(std::span<const MarkovPiece> pieces, const MarkovWeights& weights);

    std::size_t pieceCount() const;
    // The stationary law π of P, the mass of each piece: each within a few units of rounding of
    // itself (Grassmann–Taksar–Heyman elimination, which subtracts nothing), summing to 1.
    const std::vector<double>& stationary() const;

    // The masses μ([j/N, (j+1)/N]) of N = bins equal bins (1 ≤ N ≤ Cascade::kMaxBins), for
    // j = first .. first + out.size() - 1, into out, over the threads control asks for. Each is a
    // sum of positive terms: the cylinders whole in the bin, and the parts of the two cylinders
    // around its ends, split until what is left undivided is below 2^-50 of the smaller bin
    // beside the end, then shared in proportion to length. Bin ends are placed in cylinders with
    // 106 bits of a position counted in bins. A bin's value depends only on N and j, not on the
    // range it is asked in nor on the threads. A run of a piece onto itself is taken in one step;
    // an end beside a periodic point of several pieces whose slopes multiply to nearly 1 is split
    // for up to 2^27 levels (some seconds), and the bins carry about 2^-53 of the mass split for
    // each level a run of 10^6 and more takes. Throws InputError for N outside [1, kMaxBins] or a
    // range beyond N (as Cascade::checkBins), RuntimeError (Internal) where more than 2^-40 of
    // the smaller bin beside an end is left undivided after 2^27 levels, rather than share it by
    // length, Cancelled through control, out filled in part.
    void binMasses(std::uint64_t bins, std::uint64_t first, std::span<double> out,
                   const RunControl& control = {}) const;

    // The cells of level M = levels are the cylinders [i_0 … i_M], the allowed words of M + 1
    // pieces: 1ᵀ A^M 1 of them for the map's 0/1 matrix of moves A, exact up to
    // Cascade::kMaxBins and kMaxBins + 1 for any level with more, so that the count never wraps.
    std::uint64_t cellCount(unsigned levels) const;
    // Throws InputError unless level levels has at most Cascade::kMaxBins cells, its table of
    // word counts ((levels + 1) × pieces of them) holds at most kMostCountEntries, and cells
    // first .. first + count - 1 exist.
    void checkCells(unsigned levels, std::uint64_t first, std::uint64_t count) const;
    // The number of words below each piece at each depth is kept for the descent to a range, 8
    // bytes an entry: at most 256 MiB of them (maps whose slopes are all near 1 need many levels
    // to reach many cells).
    static constexpr std::uint64_t kMostCountEntries = std::uint64_t{1} << 25;

    // The cells of level levels in order of position, numbered from 0, for c = first ..
    // first + out.size() - 1, into out, as Cascade::levelCells gives them: the left end and the
    // width each the double nearest its value carried with 106 bits (the width as the product of
    // the moves' lengths, so that a short cell far from 0 keeps its digits), the mass
    // π_{i_0} P_{i_0 i_1} ⋯ P_{i_{M-1} i_M}, a product of M + 1 positive terms within M + 1 units
    // of rounding of the stationary law's and the weights' doubles. A cell's value depends only
    // on M and c: the first is reached by descending with the counts of words below each node,
    // the rest follow by redoing only the levels whose place changed. Throws as checkCells.
    void levelCells(unsigned levels, std::uint64_t first, std::span<Cascade::Cell> out) const;

private:
    std::shared_ptr<const detail::MarkovBinTables> m_tables;
};

} // namespace veltrane
