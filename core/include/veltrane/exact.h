#pragma once

// The exact spectral diagram of a map of any number of branches that each stretch their piece
// onto [0, 1].
#include <cstddef>
#include <memory>
#include <span>
#include <vector>
#include <veltrane/export.h>
#include <veltrane/run.h>

namespace veltrane {

// One point of the exact spectral diagram. At the Lyapunov exponent λ the largest entropy of
// branch weights p (summing to 1) whose mean exponent Σ p_i λ_i is λ is reached by
// p_i = L_i^β / Σ_j L_j^β for one β; then entropy h = βλ + ln Σ_j L_j^β and dimension D = h/λ.
// β is +infinity at the smallest exponent and -infinity at the largest, where the weight sits
// on the branches sharing that exponent and h is the logarithm of their number.
struct ExactPoint {
    double lyapunov = 0.0;
    double entropy = 0.0;
    double dimension = 0.0;
    double beta = 0.0;
};

using ExactSpectrum = Spectrum<ExactPoint>;

namespace detail {
class ExactModel;
} // namespace detail

// The exact spectrum of a map with given branch exponents, in double precision. Branches with
// equal exponents are merged, so one evaluation at a β costs one exponential per distinct
// exponent, and memory grows linearly with the number of branches.
class VELTRANE_API ExactSolver {
public:
    // exponents: one finite, positive value per branch, at least one; throws InputError
    // otherwise. Their order does not matter.
    explicit ExactSolver(std::span<const double> exponents);

    double lambdaMin() const;
    double lambdaMax() const;
    std::size_t branchCount() const;
    std::size_t distinctCount() const;

    // The point whose weights are p_i ∝ L_i^β, for a finite β; each value within a few units
    // of 1e-15 of itself. Any thread may call it and the other const functions at once.
    ExactPoint atBeta(double beta) const;

    // The point at λ. A λ outside [lambdaMin, lambdaMax], as a rounded abscissa may be, is
    // taken at the nearer end (with that end's λ). When all exponents are equal every call
    // gives the one point of the map, with β = 0. The entropy and dimension are within a few
    // units of 1e-15 of themselves; throws RuntimeError where no β is found, which no map
    // tried has made happen.
    ExactPoint atLyapunov(double lambda) const;

    // points ≥ 2 evenly spaced exponents λ_i = λmin + i (λmax - λmin) / (points - 1) for
    // i = 0 .. points - 1, the first exactly λmin and the last exactly λmax, non-decreasing.
    // When all exponents are equal the spectrum is the single point λ = λmin, h = ln n,
    // D = h / λ (1 up to rounding, since the n equal lengths are 1/n). Throws InputError for
    // points < 2. Each point is within a few units of 1e-15 of itself. The interior points are
    // solved in blocks of kSpectrumBlock on the threads control asks for, each block
    // warm-started afresh, so that the result is the same on any number of them;
    // control.done counts the points solved, and a run cancelled through control throws
    // Cancelled. The points are checked before they are handed on: each within
    // [0, min(λ, ln n)] for n branches (an entropy within rounding of a bound is set on it, so
    // that no dimension exceeds 1), concave, the ends at λmin and λmax; a point past a bound
    // throws RuntimeError (ErrorKind::Internal) in its place.
    ExactSpectrum spectrum(std::size_t points, const RunControl& control = {}) const;

    // The same points handed to sink in order, a window of blocks at a time (forEachWindow), so
    // that a run of any length is written as it is computed in bounded memory. Returns the
    // passes made over the distinct exponents.
    long spectrum(std::size_t points, const RunControl& control,
                  const PointSink<ExactPoint>& sink) const;

private:
    std::shared_ptr<const detail::ExactModel> m_model;
};

// The exact spectrum of the map with break points 0 < B_1 < ... < B_k < 1 (k + 1 branches)
// over the given number of points (≥ 2). Throws BreakPointError for bad break points and
// InputError for points < 2.
VELTRANE_API ExactSpectrum exactSpectrum(std::span<const double> breakPoints, std::size_t points,
                                         const RunControl& control = {});

} // namespace veltrane
