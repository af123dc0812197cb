#include "DiagramBounds.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <veltrane/errors.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();

// A point's entropy is accurate to about 1e-13 of the range's scale (the Markov solver's
// promise; the exact solver's is 1e-15), so three of them may bend the wrong way by a few
// times that; this leaves a hundredfold margin and still finds any error that shows in a
// printed digit beyond the twelfth.
constexpr double kConcaveSlack = 1e-11;

[[noreturn]] void fault(std::size_t index, const ExactPoint& p, const std::string& what) {
    throw RuntimeError(ErrorKind::Internal, "point " + std::to_string(index) + " (lyapunov " +
                                                shortest(p.lyapunov) + ", entropy " +
                                                shortest(p.entropy) + ") " + what);
}

} // namespace

DiagramBounds::DiagramBounds(double lambdaMin, double lambdaMax, double topEntropy,
                             std::size_t points)
    : m_lambdaMin(lambdaMin), m_lambdaMax(lambdaMax), m_top(topEntropy), m_points(points) {
    const double scale = std::max({1.0, lambdaMax, topEntropy});
    m_slack = 64.0 * kEpsilon * scale;
    m_concave = kConcaveSlack * scale;
}

ExactPoint DiagramBounds::point(double lambda, double entropy, double beta) const {
    const double ceiling = std::min(lambda, m_top);
    ExactPoint p{lambda, entropy, 0.0, beta};
    if (!(entropy >= -m_slack && entropy <= ceiling + m_slack)) {
        fault(0, p, "is outside [0, " + shortest(ceiling) + "]");
    }
    p.entropy = std::clamp(entropy, 0.0, ceiling);
    // h ≤ λ and a division rounded to nearest keep the dimension at most 1.
    p.dimension = p.entropy / lambda;
    return p;
}

void DiagramBounds::check(std::size_t first, std::span<const ExactPoint> points) {
    for (std::size_t k = 0; k < points.size(); ++k) {
        const std::size_t index = first + k;
        const ExactPoint& p = points[k];
        checkOne(index, p);
        checkConcave(index, p);
        m_before[0] = m_before[1];
        m_before[1] = p;
        ++m_seen;
    }
}

void DiagramBounds::checkOne(std::size_t index, const ExactPoint& p) const {
    if (!(std::isfinite(p.lyapunov) && std::isfinite(p.entropy) && std::isfinite(p.dimension))) {
        fault(index, p, "is not finite");
    }
    if (index == 0 && p.lyapunov != m_lambdaMin) {
        fault(index, p, "is not at the smallest exponent " + shortest(m_lambdaMin));
    }
    if (index + 1 == m_points && m_points > 1 && p.lyapunov != m_lambdaMax) {
        fault(index, p, "is not at the largest exponent " + shortest(m_lambdaMax));
    }
    if (!(p.lyapunov >= m_lambdaMin && p.lyapunov <= m_lambdaMax)) {
        fault(index, p, "lies outside the range of exponents");
    }
    if (m_seen > 0 && p.lyapunov < m_before[1].lyapunov) {
        fault(index, p, "comes before the exponent of the point preceding it");
    }
    if (!(p.entropy >= 0.0 && p.entropy <= m_top + m_slack && p.entropy <= p.lyapunov)) {
        fault(index, p,
              "is outside [0, " + shortest(std::min(p.lyapunov, m_top)) +
                  "], the bounds of the exponent and the topological entropy");
    }
    if (!(p.dimension >= 0.0 && p.dimension <= 1.0)) {
        fault(index, p, "has a dimension outside [0, 1]: " + shortest(p.dimension));
    }
}

void DiagramBounds::checkConcave(std::size_t index, const ExactPoint& p) const {
    if (m_seen < 2) {
        return;
    }
    const ExactPoint& a = m_before[0];
    const ExactPoint& b = m_before[1];
    const double left = b.lyapunov - a.lyapunov;
    const double right = p.lyapunov - b.lyapunov;
    if (!(left > 0.0 && right > 0.0)) {
        return; // neighbours at one exponent, as rounding puts them at the ends of long runs
    }
    // The chord from a to p lies below b, up to the three points' errors.
    const double chord = (a.entropy * right + p.entropy * left) / (left + right);
    if (chord > b.entropy + m_concave) {
        fault(index - 1, b,
              "lies below the chord of its neighbours by " + shortest(chord - b.entropy) +
                  ": the entropy is not concave there");
    }
}

} // namespace veltrane
