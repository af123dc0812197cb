#include "AnalyticModel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <veltrane/errors.h>
#include <veltrane/text.h>

namespace veltrane::detail {

namespace {

// The collocation in double precision is taken when two numbers of points a step apart give
// P within this of max(1, |P|) at the test β; its points are searched among kNodeSteps.
constexpr double kAgreed = 1e-13;
constexpr std::array<std::size_t, 12> kNodeSteps{8, 12, 16, 24, 32, 48, 64, 96, 128, 160, 192, 256};
constexpr std::array<double, 5> kTestBetas{-2.0, 0.0, 0.5, 1.0, 3.0};

// The words of all periods searched together, times their length, at most.
constexpr std::size_t kOrbitBudget = std::size_t{1} << 15;

// A spectrum's point solves -P'(β) = λ to this part of the range's scale; its entropy, taken
// at the target λ, errs by the square of it (the minimum of P(β) + βλ over β).
constexpr double kLambdaTolerance = 1e-12;

// Points of the collocations that resolve larger |β|, and their agreement with the next.
constexpr std::size_t kLadderTop = 256;
constexpr double kResolved = 1e-12;

struct NodeChoice {
    std::size_t nodes13 = 0;
    double digitsPerNode = 0.0;
};

// NaN where the collocation's leading eigenvalue is not found: too few points for β.
double pressureWith(const Collocation& collocation, double beta) {
    try {
        std::vector<double> start;
        return collocation.pressure(beta, start);
    } catch (const RuntimeError&) {
        return std::numeric_limits<double>::quiet_NaN();
    }
}

// P and P' at β from the warm vectors of the last β, or where inverse iteration from them does
// not settle or finds another eigenvalue (the last β's tangent a poor guess: with branches as
// uneven as 1e-6 x and 0.999 + 1e-3 x the shift lands nearer the second eigenvalue than the
// first's distance allows to settle), by power steps from the constant function. RuntimeError
// where those fail too.
PressureSlope pressureSlopeFrom(const Collocation& collocation, double beta, Warm& warm) {
    try {
        return collocation.pressureSlope(beta, warm);
    } catch (const RuntimeError&) {
        warm = Warm{};
        return collocation.pressureSlope(beta, warm);
    }
}

// The fewest points of kNodeSteps after which P at the test β moves by less than kAgreed, and
// the digits a point adds, from how the differences to the last fall before that.
NodeChoice chooseNodes(const AnalyticBranches& branches) {
    std::vector<std::array<double, kTestBetas.size()>> values;
    for (std::size_t s = 0; s < kNodeSteps.size(); ++s) {
        std::array<double, kTestBetas.size()> row{};
        const Collocation collocation(branches, kNodeSteps[s]);
        for (std::size_t b = 0; b < kTestBetas.size(); ++b) {
            row[b] = pressureWith(collocation, kTestBetas[b]);
        }
        values.push_back(row);
        if (s == 0) {
            continue;
        }
        double worst = 0.0;
        for (std::size_t b = 0; b < kTestBetas.size(); ++b) {
            const double scale = std::max(1.0, std::abs(row[b]));
            worst = std::max(worst, std::abs(row[b] - values[s - 1][b]) / scale);
        }
        if (!(worst <= kAgreed)) {
            continue; // NaN included
        }
        // The rate: between the two last steps whose differences to this one stand above
        // rounding, the digits gained per point; with one such step, at least the digits
        // between its difference and kAgreed. A map converged at once (linear branches) is
        // given one digit a point. The precise runs check what it predicts.
        std::vector<std::pair<double, double>> above; // (points, log10 difference)
        for (std::size_t t = 0; t + 1 < s; ++t) {
            double d = 0.0;
            for (std::size_t b = 0; b < kTestBetas.size(); ++b) {
                d = std::max(d, std::abs(values[t][b] - row[b]) / std::max(1.0, std::abs(row[b])));
            }
            if (d > 1e-11) {
                above.emplace_back(static_cast<double>(kNodeSteps[t]), std::log10(d));
            }
        }
        double rate = 0.0;
        if (above.size() >= 2) {
            const auto& [m1, d1] = above[above.size() - 2];
            const auto& [m2, d2] = above.back();
            rate = (d1 - d2) / (m2 - m1);
        }
        if (above.size() == 1 || !(rate > 0.0)) {
            for (const auto& [m, d] : above) {
                rate = std::max(rate, (d - std::log10(kAgreed)) /
                                          (static_cast<double>(kNodeSteps[s]) - m));
            }
        }
        rate = rate > 0.0 ? rate : 1.0;
        return {kNodeSteps[s], rate};
    }
    throw InputError("the map's transfer operator converges too slowly to be collocated: " +
                     std::to_string(kNodeSteps.back()) +
                     " points do not give 13 digits of its pressure (a branch nearly "
                     "parabolic, or a formula nearly singular beside [0, 1])");
}

// The fixed point of the composition ψ_w = ψ_{w_1} ∘ ... ∘ ψ_{w_p} (letters in reverse order of
// application) by Newton's method, and -(1/p) ln |ψ_w'| there.
double orbitExponent(const AnalyticBranches& b, const std::vector<std::size_t>& word) {
    double x = 0.5 * (b.low + b.high);
    double logSlope = 0.0;
    for (int step = 0; step < 60; ++step) {
        double y = x;
        double slope = 1.0;
        logSlope = 0.0;
        for (std::size_t t = word.size(); t-- > 0;) {
            const Jet<double> j = b.formulas[word[t]].at(y);
            slope *= j.slope;
            logSlope += std::log(std::abs(j.slope));
            y = j.value;
        }
        const double next = std::clamp(x - (y - x) / (slope - 1.0), b.low, b.high);
        const bool settled = std::abs(next - x) <= 1e-16 * std::max(1.0, std::abs(x));
        x = next;
        if (settled) {
            break;
        }
    }
    return -logSlope / static_cast<double>(word.size());
}

} // namespace

OrbitRange periodicOrbits(const AnalyticBranches& branches) {
    const std::size_t n = branches.formulas.size();
    OrbitRange range{std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(), 0};
    std::size_t spent = 0;
    std::size_t words = n;
    for (unsigned p = 1; spent + words * p <= kOrbitBudget || p == 1; ++p) {
        std::vector<std::size_t> word(p, 0);
        for (std::size_t w = 0; w < words; ++w) {
            std::size_t code = w;
            for (std::size_t t = 0; t < p; ++t) {
                word[t] = code % n;
                code /= n;
            }
            const double lambda = orbitExponent(branches, word);
            range.lambdaMin = std::min(range.lambdaMin, lambda);
            range.lambdaMax = std::max(range.lambdaMax, lambda);
        }
        spent += words * p;
        range.period = p;
        if (words > kOrbitBudget / n) {
            break;
        }
        words *= n;
    }
    if (!(std::isfinite(range.lambdaMin) && std::isfinite(range.lambdaMax) &&
          range.lambdaMin > 0.0)) {
        throw RuntimeError(ErrorKind::Internal, "a periodic orbit has no positive finite "
                                                "Lyapunov exponent");
    }
    return range;
}

AnalyticModel::AnalyticModel(AnalyticBranches branches)
    : m_branches(std::move(branches)), m_collocation(m_branches, [this] {
          const NodeChoice c = chooseNodes(m_branches);
          m_nodes13 = c.nodes13;
          m_digitsPerNode = c.digitsPerNode;
          return c.nodes13;
      }()) {
    const std::size_t n = m_branches.formulas.size();
    m_topEntropy = std::log(static_cast<double>(n));
    m_orbits = periodicOrbits(m_branches);
    // |ψ'|^β stays within the range of doubles while |β| λmax < 600; and at |β| (λmax - λmin)
    // = 50 the orbits apart from an extreme one weigh e^-50 beside it, so that λ(β) is within
    // about that of the end: no point of a spectrum needs more.
    const double spread = m_orbits.lambdaMax - m_orbits.lambdaMin;
    m_betaLimit = 600.0 / m_orbits.lambdaMax;
    if (spread > 0.0) {
        m_betaLimit = std::min(m_betaLimit, 50.0 / spread);
    }
    // The dimension: P(0) = ln n ≥ 0 and P(1) ≤ 0 (the images' lengths add up to at most 1),
    // P decreasing; Newton's steps kept inside the bracket, bisection where they leave it.
    if (n == 1) {
        m_dimension = 0.0;
        return;
    }
    double low = 0.0;
    double high = 1.0;
    double beta = 0.5;
    Warm warm;
    for (int step = 0; step < 200; ++step) {
        const PressureSlope ps = pressureSlopeFrom(m_collocation, beta, warm);
        (ps.pressure > 0.0 ? low : high) = beta;
        double next = beta - ps.pressure / ps.slope;
        if (!(next > low && next < high)) {
            next = 0.5 * (low + high);
        }
        const bool settled = std::abs(next - beta) <= 4e-16 * beta || high - low <= 4e-16;
        beta = next;
        if (settled) {
            break;
        }
    }
    m_dimension = beta;
}

const AnalyticModel::Ladder& AnalyticModel::ladder() const {
    std::call_once(m_ladderMade, [this] {
        Ladder& l = m_ladder;
        std::size_t m = m_nodes13;
        l.rungs.push_back(std::make_unique<Collocation>(m_branches, m));
        const auto agree = [&](std::size_t r, double beta) {
            try {
                std::vector<double> start;
                const double a = l.rungs[r]->pressure(beta, start);
                start.clear();
                const double b = l.rungs[r + 1]->pressure(beta, start);
                return std::abs(a - b) <= kResolved * std::max(1.0, std::abs(b));
            } catch (const RuntimeError&) {
                return false; // a spurious eigenvalue: too few points for this β
            }
        };
        // Each rung is checked against the next from where the one before it stopped, on
        // both sides; more points are made only while some β the limit allows is left.
        std::array<double, 2> reach{0.0, 0.0}; // |β| resolved so far, above and below 0
        while (m < kLadderTop && (reach[0] < m_betaLimit || reach[1] < m_betaLimit)) {
            // Each rung half as many points again as the one before, the last the top: a rung
            // checked against one of nearly as many points would agree with it however
            // wrong both were.
            m = (std::max(m + 8, m * 3 / 2) + 3) / 4 * 4;
            if (static_cast<double>(m) > static_cast<double>(kLadderTop) / 1.3) {
                m = kLadderTop;
            }
            l.rungs.push_back(std::make_unique<Collocation>(m_branches, m));
            const std::size_t r = l.rungs.size() - 2;
            for (std::size_t side = 0; side < 2; ++side) {
                const double sign = side == 0 ? 1.0 : -1.0;
                for (double t = std::min(std::max(1.0, reach[side]), m_betaLimit);
                     agree(r, sign * t);) {
                    reach[side] = t;
                    if (t >= m_betaLimit) {
                        break;
                    }
                    t = std::min(2.0 * t, m_betaLimit);
                }
            }
            l.highest.push_back(reach[0]);
            l.lowest.push_back(-reach[1]);
        }
    });
    return m_ladder;
}

const AnalyticModel::Range& AnalyticModel::range() const {
    std::call_once(m_rangeMade, [this] {
        for (const bool low : {true, false}) {
            const double end = low ? m_orbits.lambdaMin : m_orbits.lambdaMax;
            double beta = m_dimension;
            Warm warm;
            bool unresolved = false;
            ExactPoint p = atLyapunov(end, beta, warm, &unresolved);
            p.dimension = p.entropy / p.lyapunov;
            (low ? m_range.low : m_range.high) = p;
            (low ? m_range.lowAtOrbit : m_range.highAtOrbit) = !unresolved;
        }
    });
    return m_range;
}

double AnalyticModel::highestResolved() const {
    const Ladder& l = ladder();
    return std::max(kTestBetas.back(), l.highest.empty() ? 0.0 : l.highest.back());
}

double AnalyticModel::lowestResolved() const {
    const Ladder& l = ladder();
    return std::min(kTestBetas.front(), l.lowest.empty() ? 0.0 : l.lowest.back());
}

const Collocation* AnalyticModel::rungFor(double beta) const {
    // The one the node count was chosen with resolves the test β.
    if (beta >= kTestBetas.front() && beta <= kTestBetas.back()) {
        return &m_collocation;
    }
    const Ladder& l = ladder();
    for (std::size_t r = 0; r + 1 < l.rungs.size(); ++r) {
        if (beta >= l.lowest[r] && beta <= l.highest[r]) {
            return l.rungs[r].get();
        }
    }
    return nullptr;
}

namespace {

[[noreturn]] void unresolved(double beta) {
    throw InputError("β = " + shortest(beta) +
                     " lies beyond what 256 collocation points resolve for this map");
}

} // namespace

double AnalyticModel::pressure(double beta) const {
    const Collocation* c = std::abs(beta) <= m_betaLimit ? rungFor(beta) : nullptr;
    if (c == nullptr) {
        unresolved(beta);
    }
    try {
        std::vector<double> start;
        return c->pressure(beta, start);
    } catch (const RuntimeError&) {
        unresolved(beta);
    }
}

ExactPoint AnalyticModel::atBeta(double beta, Warm& warm) const {
    const Collocation* c = std::abs(beta) <= m_betaLimit ? rungFor(beta) : nullptr;
    if (c == nullptr) {
        unresolved(beta);
    }
    PressureSlope ps;
    try {
        // A warm start from another rung, or from a β too far, falls back on the power steps
        // from the constant function, which found the leading eigenvalue when the rung was
        // checked.
        ps = pressureSlopeFrom(*c, beta, warm);
    } catch (const RuntimeError&) {
        unresolved(beta);
    }
    const double lambda = -ps.slope;
    const double entropy = ps.pressure + beta * lambda;
    return {lambda, entropy, entropy / lambda, beta};
}

ExactPoint AnalyticModel::atLyapunov(double lambda, double& beta, Warm& warm,
                                     bool* unresolved) const {
    const double scale = std::max(1.0, m_orbits.lambdaMax);
    const auto excess = [&](double b, ExactPoint& p) {
        p = atBeta(b, warm);
        return p.lyapunov - lambda; // falls as β rises
    };
    // The point at λ from the evaluation p at β: h on the tangent there, P(β) + βλ, which is
    // h(λ) to the square of λ - λ(β). It cancels at large |β|: a value within its rounding of
    // 0 is 0.
    const auto pointAt = [&](const ExactPoint& p, double b) {
        const double entropy = p.entropy + b * (lambda - p.lyapunov);
        const double rounding = 16.0 * std::numeric_limits<double>::epsilon() *
                                (std::abs(b) * lambda + std::abs(p.entropy));
        return ExactPoint{lambda, entropy <= rounding ? 0.0 : entropy, 0.0, b};
    };
    ExactPoint p;
    double g = excess(beta, p);
    if (std::abs(g) <= kLambdaTolerance * scale) {
        return pointAt(p, beta);
    }
    // A bracket [a, b] with λ(a) > λ > λ(b), by steps doubling away from β.
    double a = beta;
    double ga = g;
    double b = beta;
    double gb = g;
    const double direction = g > 0.0 ? 1.0 : -1.0;
    double stepSize = 0.5;
    while ((g > 0.0) == (direction > 0.0)) {
        const double bound = direction > 0.0 ? highestResolved() : lowestResolved();
        const double next =
            direction > 0.0 ? std::min(beta + stepSize, bound) : std::max(beta - stepSize, bound);
        std::optional<ExactPoint> q;
        if (next != beta) {
            try {
                q = atBeta(next, warm);
            } catch (const InputError&) {
                // β resolved by the rungs' check, but not from these vectors: as beyond.
            }
        }
        if (!q) {
            // No larger |β| is resolved. Where λ(β) has come within the tolerance of λ, h is
            // taken on the tangent of the concave spectrum there (an upper bound that close to
            // it), at least 0; otherwise the point of that β is the nearest to λ the solver
            // has, and the caller is told.
            const double correction = beta * (lambda - p.lyapunov);
            if (std::abs(correction) > kLambdaTolerance * scale && unresolved != nullptr) {
                *unresolved = true;
                return p;
            }
            return pointAt(p, beta);
        }
        (direction > 0.0 ? a : b) = beta;
        (direction > 0.0 ? ga : gb) = g;
        beta = next;
        p = *q;
        g = p.lyapunov - lambda;
        stepSize *= 2.0;
    }
    (direction > 0.0 ? b : a) = beta;
    (direction > 0.0 ? gb : ga) = g;
    // Regula falsi with the Illinois halving, which keeps it from stalling at one end.
    int side = 0;
    for (int step = 0; step < 100 && std::abs(g) > kLambdaTolerance * scale; ++step) {
        beta = (a * gb - b * ga) / (gb - ga);
        if (!(beta > std::min(a, b) && beta < std::max(a, b))) {
            beta = 0.5 * (a + b);
        }
        g = excess(beta, p);
        if (g > 0.0) {
            a = beta;
            ga = g;
            if (side == 1) {
                gb *= 0.5;
            }
            side = 1;
        } else {
            b = beta;
            gb = g;
            if (side == -1) {
                ga *= 0.5;
            }
            side = -1;
        }
    }
    return pointAt(p, beta);
}

} // namespace veltrane::detail
