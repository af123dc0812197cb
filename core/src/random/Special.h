#pragma once

// The special functions the expected spectra of the Dirichlet laws need, private to the core.
#include <vector>

namespace veltrane::random {

// ψ(x) = Γ'(x) / Γ(x) for x > 0, within about 6e-16 of max(1, |ψ(x)|) (against 40-digit
// figures), from the recurrence ψ(x) = ψ(x + 1) - 1/x up to x ≥ 10 and the asymptotic series
// there. NaN for x ≤ 0 or NaN.
double digamma(double x);

// The nodes and weights of Gauss–Legendre quadrature of n points on [-1, 1], each to a few
// units in the last place.
struct Quadrature {
    std::vector<double> nodes;
    std::vector<double> weights;
};
Quadrature gaussLegendre(int n);

// ln Γ(x + d) - ln Γ(x) for x > 0 and x + d > 0, to a few units in the last place of the
// difference also where d is small beside x, as ∫_0^d ψ(x + t) dt by quadrature, which is what
// keeps τ(q) relative-accurate as q nears 0 or 1; elsewhere the difference of lgamma, within
// about 1e-16 of max(|ln Γ(x)|, |ln Γ(x + d)|). rule: gaussLegendre(kLogGammaNodes).
double logGammaRatio(double x, double d, const Quadrature& rule);
inline constexpr int kLogGammaNodes = 16;

} // namespace veltrane::random
