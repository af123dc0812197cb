#pragma once

// What every spectral diagram of an expanding map of [0, 1] obeys, whatever solved it: at each
// Lyapunov exponent λ of the range [λmin, λmax] the entropy h lies in [0, min(λ, h_top)] (the
// pieces' lengths make P(1) = 0, so h ≤ λ; h_top = P(0) is the topological entropy), the
// dimension h / λ in [0, 1], and h is concave in λ. A point past a bound is a fault of the
// solver: it is reported (RuntimeError, ErrorKind::Internal) and never handed on.
#include <array>
#include <cstddef>
#include <span>
#include <veltrane/exact.h>

namespace veltrane {

class DiagramBounds {
public:
    // topEntropy: h_top, or an upper bound of it; points: the diagram's number of points.
    DiagramBounds(double lambdaMin, double lambdaMax, double topEntropy, std::size_t points);

    // The point at lambda of the given entropy, which may be off by a few units of rounding of
    // the range: within that of a bound it is set on the bound, beyond it it is a fault.
    ExactPoint point(double lambda, double entropy, double beta) const;

    // Checks the diagram's points first .. first + points.size() - 1, handed on in order: each
    // within its bounds, the ends at λmin and λmax, the exponents rising, and every three
    // neighbours concave within the accuracy of their entropies.
    void check(std::size_t first, std::span<const ExactPoint> points);

private:
    void checkOne(std::size_t index, const ExactPoint& p) const;
    void checkConcave(std::size_t index, const ExactPoint& p) const;

    double m_lambdaMin;
    double m_lambdaMax;
    double m_top;
    std::size_t m_points;
    double m_slack;                       // of one point's bounds: rounding of the range
    double m_concave;                     // of three neighbours: the accuracy of their entropies
    std::array<ExactPoint, 2> m_before{}; // the last two points checked
    std::size_t m_seen = 0;
};

} // namespace veltrane
