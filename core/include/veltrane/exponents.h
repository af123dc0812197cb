#pragma once

// The scaling exponents of a measure's multifractal spectrum in each of the conventions in use,
// and how each follows from the others. Every front end takes them from here.
//
// For a measure μ on [0, 1] cut into N boxes I of length |I| = 1/N, the moments of order q
// scale as Σ_I μ(I)^q ≈ |I|^τ(q). Then:
//   τ(q)      the partition-function exponent of the estimator literature; τ(q) = (q - 1) D_q,
//             τ(0) = -1 (the support is the whole interval) and τ(1) = 0 (the mass is 1).
//   D_q       the generalized dimension, τ(q) / (q - 1); D_1 the information dimension.
//   α(q)      τ'(q), the local dimension (Hölder exponent) that the order q weighs most;
//   f         f(α(q)) = q α(q) - τ(q), the dimension of the points of that local dimension.
//   h(q)      the generalized Hurst exponent that multifractal detrended fluctuation analysis
//             finds on the series of bin masses: τ(q) = q h(q) - 1, so h = (τ + 1) / q, and
//             h(0) = τ'(0) = α(0) in the limit.
//   ζ(q)      the structure-function exponent of the distribution function F(x) = μ([0, x]),
//             whose increments over the boxes are the box masses, as wavelet-leader and
//             structure-function estimators normalise it by the number of boxes: ζ = τ + 1.
//   β(q)      the exponent of the thermodynamic formalism for a Bernoulli measure, which solves
//             Σ p_i^q ℓ_i^β = 1 over the branches (weights p_i, lengths ℓ_i): β = -τ, so
//             β(0) = 1, β(1) = 0 and f = β + qα. It is what the command line's "tau" columns
//             print, as they always have.

namespace veltrane {

// The exponents of one order q, in every convention above.
struct Exponents {
    double q = 0.0;
    double tau = 0.0;   // Σ_I μ(I)^q ≈ |I|^τ, τ = (q - 1) D_q
    double dq = 0.0;    // D_q
    double hurst = 0.0; // h(q) = (τ + 1) / q, α(0) at q = 0
    double zeta = 0.0;  // ζ(q) = τ + 1 = q h(q)
    double beta = 0.0;  // Σ p_i^q ℓ_i^β = 1, β = -τ
    double alpha = 0.0; // α(q) = τ'(q)
    double f = 0.0;     // q α - τ
};

// The conversions, exact in doubles where they are a negation, each to one rounding otherwise.
namespace convention {

// 0 - x rather than -x: τ(1) = 0, not -0.
constexpr double tauOfBeta(double beta) {
    return 0.0 - beta;
}
constexpr double betaOfTau(double tau) {
    return 0.0 - tau;
}
// ζ from h, rather than τ + 1, which loses the digits of ζ where τ is close to -1 (q near 0).
constexpr double zetaOfHurst(double q, double hurst) {
    return q * hurst;
}
constexpr double fOf(double q, double alpha, double tau) {
    return q * alpha - tau;
}

} // namespace convention

} // namespace veltrane
