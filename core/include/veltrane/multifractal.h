#pragma once

// The exact multifractal spectrum f(α), β(q) and D_q of a Bernoulli measure on a map's branches.
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>
#include <veltrane/exponents.h>
#include <veltrane/export.h>
#include <veltrane/run.h>

namespace veltrane {

// One point of the multifractal spectrum of the Bernoulli measure that gives branch i of length
// ℓ_i the weight p_i. At the order q, β(q) solves Σ p_i^q ℓ_i^β = 1 (β = -τ of the
// partition-function convention, exponents.h); the Gibbs weights w_i = p_i^q ℓ_i^β have local
// dimension α = Σ w ln p / Σ w ln ℓ, and f = β + qα is the dimension of the points where the
// measure has that local dimension. At the smallest α, q is +infinity and β -infinity; at the
// largest α, q is -infinity and β +infinity.
struct MultifractalPoint {
    double alpha = 0.0;
    double f = 0.0;
    double q = 0.0;
    double beta = 0.0;
};

using MultifractalSpectrum = Spectrum<MultifractalPoint>;

// The generalized dimension D_q = β(q) / (1 - q); D_1 = Σ p ln p / Σ p ln ℓ.
struct DqPoint {
    double q = 0.0;
    double beta = 0.0;
    double dq = 0.0;
};

// The exact multifractal spectrum of a Bernoulli measure, in double precision. Branches with the
// same weight and length are merged, so one pass costs one exponential per distinct pair and
// memory grows linearly with the number of branches.
namespace detail {
class MultifractalModel;
} // namespace detail

class VELTRANE_API MultifractalSolver {
public:
    // breakPoints as branchExponents takes them (k of them make k + 1 branches); weights one per
    // branch, positive and finite, normalized here to sum 1. Throws BreakPointError or
    // WeightError. Any such map and weights are taken, a branch within the smallest subnormal
    // of length 1 included.
    MultifractalSolver(std::span<const double> breakPoints, std::span<const double> weights);

    // The range of α: the smallest and largest ratio ln p_i / ln ℓ_i, the quotients of the
    // doubles ln p_i and ln ℓ_i, which are carried with their remainders in extended precision,
    // or to 106 bits where all lie within 1% of each other. αmax is +infinity where a branch within
    // a few subnormals of length 1 makes its ratio exceed the largest double; spectrum(),
    // atAlpha() and atQ() then throw RuntimeError (overflow), while beta() and dq() hold. They
    // throw so too where the orders of the interior points, about 1 / (e_max (αmax - αmin)),
    // fall below the normal doubles, as for a branch within about 1e-305 of length 1.
    // When the ratios all lie within kRatioTolerance of each other, alphaMin() = alphaMax() = 1.
    double alphaMin() const;
    double alphaMax() const;
    // True when the ratios lie within kRatioTolerance of each other, closer than the doubles
    // that would print α can space points. Σ p_i = Σ ℓ_i^(r_i) = 1 puts 1 between the smallest
    // ratio r_i and the largest, so the range is 1 to within that tolerance: the spectrum is
    // reported as its point at q = 0, α = f = 1, β(q) as 1 - q, each to within the tolerance.
    // Ratios that are equal (p_i = ℓ_i) give this exactly.
    bool singlePoint() const;
    std::size_t branchCount() const;
    std::size_t distinctCount() const;

    // β(q) for a finite q: exactly 1 at q = 0 (the lengths sum to 1) and 0 at q = 1 (the
    // weights do), elsewhere within about 1e-14 of itself for any map and weights, a branch
    // within 1e-300 of the whole length or of nothing and q up to the largest doubles
    // included. Throws InputError for a q that is NaN or infinite, and RuntimeError
    // (overflow) where β lies beyond the range of doubles.
    double beta(double q) const;

    // The exponents of order q in every convention (exponents.h). τ, β and D_q as beta() and
    // dq() give them; h(q) within about 1e-12 of itself (against 50-digit figures), also as q
    // nears 0, where it is formed from its own equation Σ ℓ_i expm1(q ln(p_i / ℓ_i^h)) = 0
    // rather than from τ + 1, and ζ = q h; α and f as atQ() gives them, α(0) = h(0). Unchecked;
    // throws as atQ() does.
    Exponents exponents(double q) const;
    // The exponents at each of qs, into out (of the same length), over the threads control
    // asks for, the same bits on any number; each point checked against SpectrumBounds, the
    // rows of D_q as dqMany checks them, α and h within [αmin, αmax] and not rising with q.
    void exponentsMany(std::span<const double> qs, std::span<Exponents> out,
                       const RunControl& control) const;

    // The point of order q, finite. At q = 0, f is exactly 1; at q = 1, α = f = D_1; elsewhere
    // each value within about 1e-12 of itself for |q| up to some hundreds. Throws as beta does.
    // Any thread may call it and the other const functions at once.
    MultifractalPoint atQ(double q) const;

    // The point at α. An α at or beyond an end, as a rounded abscissa may be, gives that end
    // exactly: f is the dimension s of the branches reaching the end ratio, Σ ℓ_i^s = 1 over
    // them (0 for a single branch), with q and β infinite. Inside, each value within about
    // 1e-12 of itself; throws RuntimeError where no q is found, which no map tried has made
    // happen.
    MultifractalPoint atAlpha(double alpha) const;

    // D_q for a finite q, to the same precision as β also close to q = 1; throws as beta does.
    DqPoint dq(double q) const;

    // points ≥ 2 evenly spaced α_i = αmin + i (αmax - αmin) / (points - 1), the first exactly
    // αmin and the last exactly αmax with their exact f; the single point when singlePoint().
    // Throws InputError for points < 2. Each value is within about 1e-12 of itself, q near its
    // crossing of 0 within about 1e-15 of its scale 1 / (e_max (αmax - αmin)). Every point is
    // checked against SpectrumBounds before it is handed on. The
    // interior points are solved in blocks of kSpectrumBlock on the threads control asks for,
    // each block warm-started afresh, so the bits do not depend on the number of threads;
    // control.done counts the points solved, and a run cancelled through control throws
    // Cancelled.
    MultifractalSpectrum spectrum(std::size_t points, const RunControl& control = {}) const;

    // The same points handed to sink in order, a window of blocks at a time (forEachWindow), so
    // that a run of any length is written as it is computed in bounded memory. Returns the
    // number of passes over the branches made.
    long spectrum(std::size_t points, const RunControl& control,
                  const PointSink<MultifractalPoint>& sink) const;
    // Ratios within this much of each other, relative to 1 (four units in the last place of
    // a double near 1), count as one: points evenly spaced over so narrow a range would fall
    // on a few doubles. Weights written as decimal lengths (0.3 and 0.7 on the break point
    // 0.3) differ from the lengths by rounding and give ratios that close to 1.
    static constexpr double kRatioTolerance = 0x1p-50;

    // The rows of D_q at q = from + k step, k = 0 .. count - 1, handed to sink in order a
    // window at a time, solved over the threads control asks for (the same bits on any
    // number); each row is checked against the bounds (DqBounds) before it is handed on.
    void dqRows(double from, double step, std::size_t count, const RunControl& control,
                const PointSink<DqPoint>& sink) const;
    // D_q at each of qs, into out (of the same length), over the threads control asks for,
    // checked against the bounds in order of q.
    void dqMany(std::span<const double> qs, std::span<DqPoint> out,
                const RunControl& control) const;

private:
    std::shared_ptr<const detail::MultifractalModel> m_model;
};

// The bounds the mathematics guarantees of the points of a multifractal spectrum, checked
// before they are handed on. A point or row that breaks one is a fault of the program: check
// throws RuntimeError (ErrorKind::Internal) naming the bound and the values, and nothing of
// it may be printed. Values are let through within kSlack of the bound, relative to the
// values compared, a hundred times the precision the solver promises.
class VELTRANE_API SpectrumBounds {
public:
    static constexpr double kSlack = 1e-10;

    SpectrumBounds(double alphaMin, double alphaMax) : m_alphaMin(alphaMin), m_alphaMax(alphaMax) {}

    // Points in ascending α, following those checked before: α in [αmin, αmax] exactly; at
    // interior points (q finite) 0 ≤ f ≤ min(α, 1) and β = f - qα; f concave in α between
    // consecutive points, by q = f'(α) not rising and f(α1) - f(α0) lying between
    // q1 (α1 - α0) and q0 (α1 - α0).
    void check(std::span<const MultifractalPoint> points);

    // Rows of D_q in ascending q, following those checked before: D_q in [αmin, αmax], not
    // rising with q, and β = (1 - q) D_q.
    void check(std::span<const DqPoint> rows);

    // Rows of exponents in any order of q, each checked alone as a point and a row (orders
    // close together give points closer than their rounding), α and h not rising with q, h
    // within [αmin, αmax], τ = -β and ζ = q h exactly.
    void check(std::span<const Exponents> rows) const;

private:
    void checkRow(const DqPoint& row) const;
    double m_alphaMin;
    double m_alphaMax;
    std::optional<MultifractalPoint> m_point;
    std::optional<DqPoint> m_row;
};

} // namespace veltrane
