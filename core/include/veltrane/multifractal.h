#pragma once

// The exact multifractal spectrum f(α), τ(q) and D_q of a Bernoulli measure on a map's branches.
#include <cstddef>
#include <optional>
#include <span>
#include <vector>
#include <veltrane/export.h>
#include <veltrane/run.h>

namespace veltrane {

// One point of the multifractal spectrum of the Bernoulli measure that gives branch i of length
// ℓ_i the weight p_i. At the order q, τ(q) solves Σ p_i^q ℓ_i^τ = 1; the Gibbs weights
// w_i = p_i^q ℓ_i^τ have local dimension α = Σ w ln p / Σ w ln ℓ, and f = τ + qα is the
// dimension of the points where the measure has that local dimension. At the smallest α, q is
// +infinity and τ -infinity; at the largest α, q is -infinity and τ +infinity.
struct MultifractalPoint {
    double alpha = 0.0;
    double f = 0.0;
    double q = 0.0;
    double tau = 0.0;
};

using MultifractalSpectrum = Spectrum<MultifractalPoint>;

// The generalized dimension D_q = τ(q) / (1 - q); D_1 = Σ p ln p / Σ p ln ℓ.
struct DqPoint {
    double q = 0.0;
    double tau = 0.0;
    double dq = 0.0;
};

// The exact multifractal spectrum of a Bernoulli measure, in double precision. Branches with the
// same weight and length are merged, so one pass costs one exponential per distinct pair and
// memory grows linearly with the number of branches.
class VELTRANE_API MultifractalSolver {
public:
    // breakPoints as branchExponents takes them (k of them make k + 1 branches); weights one per
    // branch, positive and finite, normalized here to sum 1. Throws BreakPointError or
    // WeightError, and RuntimeError where a branch within a few subnormals of length 1 makes
    // its ratio ln p / ln ℓ overflow.
    MultifractalSolver(std::span<const double> breakPoints, std::span<const double> weights);

    // The range of α: the smallest and largest ratio ln p_i / ln ℓ_i. Ratios that agree to
    // within kRatioTolerance count as equal; when all do, alphaMin() = alphaMax() = 1.
    double alphaMin() const { return m_alphaMin; }
    double alphaMax() const { return m_alphaMax; }
    // True when every ratio is equal: then p_i = ℓ_i, since Σ ℓ_i^c = 1 only for c = 1, and the
    // spectrum is the one point α = f = 1 with τ(q) = 1 - q.
    bool singlePoint() const { return m_single; }
    std::size_t branchCount() const { return m_branchCount; }
    std::size_t distinctCount() const { return m_e.size(); }

    // τ(q) for a finite q: exactly 1 at q = 0 (the lengths sum to 1) and 0 at q = 1 (the
    // weights do), elsewhere within about 1e-14 of itself for any map and weights, a branch
    // within 1e-300 of the whole length or of nothing and q up to the largest doubles
    // included. Throws RuntimeError (overflow) where τ lies beyond the range of doubles.
    double tau(double q) const;

    // The point of order q, finite. At q = 0, f is exactly 1; at q = 1, α = f = D_1; elsewhere
    // each value within about 1e-12 of itself for |q| up to some hundreds. Throws as tau does.
    // Any thread may call it and the other const functions at once.
    MultifractalPoint atQ(double q) const;

    // The point at α. An α at or beyond an end, as a rounded abscissa may be, gives that end
    // exactly: f is the dimension s of the branches reaching the end ratio, Σ ℓ_i^s = 1 over
    // them (0 for a single branch), with q and τ infinite. Inside, each value within about
    // 1e-12 of itself; throws RuntimeError where no q is found, which no map tried has made
    // happen.
    MultifractalPoint atAlpha(double alpha) const;

    // D_q for a finite q, to the same precision as τ also close to q = 1; throws as tau does.
    DqPoint dq(double q) const;

    // points ≥ 2 evenly spaced α_i = αmin + i (αmax - αmin) / (points - 1), the first exactly
    // αmin and the last exactly αmax with their exact f; the single point when singlePoint().
    // Throws InputError for points < 2. Each value is within about 1e-12 of itself. The
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
    // A branch's length is the difference of two break points, rounded by about 1e-16 B / ℓ
    // of itself: much for a short branch far from 0. Ratios meant to be equal, as when the
    // weights are written as the lengths, differ by that much; ratios within kRatioTolerance
    // of each other count as equal, which covers branches down to about 1e-7 wide.
    static constexpr double kRatioTolerance = 1e-9;

private:
    // Moments of the weights proportional to m_i exp(q x_i - s e_i), x_i = e_i (α - r_i), from
    // one pass: ln of their sum, and means and (co)variances of x and e.
    struct Sums {
        double phi = 0.0;
        double x = 0.0;
        double e = 0.0;
        double vxx = 0.0;
        double cxe = 0.0;
        double vee = 0.0;
    };
    struct Root {
        double q = 0.0;
        double f = 0.0;
        Sums sums;
        long passes = 0;
    };

    // work: room for one value per distinct pair, reused from pass to pass.
    VELTRANE_LOCAL Sums evaluate(double alpha, double q, double s, std::vector<double>& work) const;
    // ln Σ m_i p_i exp(δ x_i) with x_i = e_i (D - r_i), and the mean of e, for a small |δ|;
    // nothing where a term is beyond the range of doubles.
    VELTRANE_LOCAL std::optional<Sums> evaluateNearOne(double d, double delta) const;
    // The Newton step on D at d for the order q, from the sums nearOne picks, or from
    // scaledStep where those cannot be formed.
    VELTRANE_LOCAL double stepD(double d, double q, bool nearOne, std::vector<double>& work) const;
    VELTRANE_LOCAL double scaledStep(double d, double delta) const;
    // D with Σ p_i^q ℓ_i^((1-q) D) = 1, for q ≠ 1.
    VELTRANE_LOCAL double solveD(double q, std::vector<double>& work) const;
    VELTRANE_LOCAL Root solveAlpha(double alpha, double q, double s,
                                   std::vector<double>& work) const;
    // Points first .. first + out.size() - 1 of a spectrum of points points, into out; returns
    // the passes made.
    VELTRANE_LOCAL long solveBlock(std::size_t first, std::size_t points,
                                   std::span<MultifractalPoint> out,
                                   detail::BlockProgress& progress) const;
    VELTRANE_LOCAL double endDimension(std::size_t first, std::size_t last) const;
    VELTRANE_LOCAL MultifractalPoint endPoint(bool smallest) const;
    VELTRANE_LOCAL MultifractalPoint pointOf(double alpha, const Root& root) const;

    std::vector<double> m_r; // ratios ln p / ln ℓ of the distinct pairs, ascending
    std::vector<double> m_e; // their exponents ln(1/ℓ)
    std::vector<double> m_p; // their normalized weights
    std::vector<double> m_m; // branches sharing each pair
    std::size_t m_branchCount = 0;
    double m_alphaMin = 1.0;
    double m_alphaMax = 1.0;
    double m_fMin = 1.0;
    double m_fMax = 1.0;
    double m_d1 = 1.0;
    double m_eMax = 0.0;
    double m_qUnit = 1.0; // the change of q that moves the Gibbs weights by a factor of about e
    bool m_single = false;
};

} // namespace veltrane
