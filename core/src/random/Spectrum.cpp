// The expected multifractal spectrum of a random cascade law: the families' exponents (Laws.h),
// the other conventions, the orders where f and τ cross 0, and the bounds every run is checked
// against.
#include "Laws.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <veltrane/errors.h>
#include <veltrane/text.h>

namespace veltrane {

struct RandomSpectrum::State {
    std::unique_ptr<const random::Law> law;
    bool conservative = true;
};

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Bounds are let through within this much, relative to the values compared (as
// SpectrumBounds::kSlack): a hundred times the precision of the exponents.
constexpr double kSlack = 1e-10;
// τ(0) and τ(1) are exact in the mathematics; the law's own figures hold them to this.
constexpr double kEndSlack = 1e-12;
// Brackets of q*± and q_crit grow by doubling up to this |q|, past which the exponents leave
// the doubles' useful range.
constexpr double kFarthest = 0x1p200;

double fAt(const random::Law& law, double q) {
    const random::Orders o = law.at(q);
    return convention::fOf(q, o.alpha, o.tau);
}

// The q between inside (where keep holds) and outside (where it does not) at which keep
// stops holding, to the last bit of q by bisection.
template <typename Keep> double boundary(double inside, double outside, const Keep& keep) {
    for (;;) {
        const double mid = inside + 0.5 * (outside - inside);
        if (mid == inside || mid == outside) {
            return mid;
        }
        (keep(mid) ? inside : outside) = mid;
    }
}

[[noreturn]] void beyondRange(const std::string& what) {
    throw RuntimeError(ErrorKind::Overflow, what + " lies beyond |q| = 2^200");
}

[[noreturn]] void broken(const std::string& bound, double q) {
    throw RuntimeError(ErrorKind::Internal,
                       "the expected spectrum breaks a bound at q = " + shortest(q) + ": " + bound);
}

bool above(double got, double bound) {
    return got > bound + kSlack * std::max({1.0, std::abs(got), std::abs(bound)});
}

} // namespace

RandomSpectrum::RandomSpectrum(const RandomModel& model) {
    RandomModel::Data data;
    data.kind = model.kind();
    data.base = model.base();
    data.generators = model.generatorList();
    data.probabilities = model.probabilities();
    data.values = model.values();
    auto state = std::make_shared<State>();
    state->law = random::lawOf(data);
    state->conservative = model.conservative();
    m_state = std::move(state);
}

double RandomSpectrum::qMin() const {
    return m_state->law->qMin();
}

double RandomSpectrum::tau(double q) const {
    return exponents(q).tau;
}

Exponents RandomSpectrum::exponents(double q) const {
    if (!(std::isfinite(q) && q > qMin())) {
        throw InputError("the order q (" + shortest(q) + ") must be a finite number" +
                         (std::isinf(qMin()) ? std::string()
                                             : " greater than " + shortest(qMin()) +
                                                   ", where the moments are finite"));
    }
    const random::Orders o = m_state->law->at(q);
    Exponents out;
    out.q = q;
    out.tau = o.tau;
    out.dq = o.dq;
    out.hurst = o.hurst;
    // h(0) is infinite where the support is thinner than the interval; ζ(0) = τ(0) + 1 still.
    out.zeta = std::isinf(o.hurst) ? o.tau + 1.0 : convention::zetaOfHurst(q, o.hurst);
    out.beta = convention::betaOfTau(o.tau);
    out.alpha = o.alpha;
    out.f = convention::fOf(q, o.alpha, o.tau);
    const bool hurstFinite = std::isfinite(out.hurst) || (q == 0.0 && std::isinf(out.hurst));
    if (!(std::isfinite(out.tau) && std::isfinite(out.dq) && std::isfinite(out.alpha) &&
          std::isfinite(out.f) && hurstFinite)) {
        throw RuntimeError(ErrorKind::Overflow,
                           "the exponents at q = " + shortest(q) + " lie beyond the doubles");
    }
    return out;
}

std::vector<Exponents> RandomSpectrum::exponentsMany(std::span<const double> qs) const {
    const random::Law& law = *m_state->law;
    const double tau0 = law.at(0.0).tau;
    if (std::abs(tau0 + law.supportDimension()) > kEndSlack) {
        broken("tau(0) = " + shortest(tau0) + ", not -D_0", 0.0);
    }
    if (std::abs(law.at(1.0).tau) > kEndSlack) {
        broken("tau(1) = " + shortest(law.at(1.0).tau) + ", not 0", 1.0);
    }
    // α ≥ 0 everywhere for conservative laws, between q*- and q*+ for canonical ones.
    const double alphaFrom = m_state->conservative ? -kInfinity : qStarMinus();
    const double alphaTo = m_state->conservative ? kInfinity : qStarPlus();
    std::vector<Exponents> out;
    out.reserve(qs.size());
    for (const double q : qs) {
        if (!out.empty() && !(q > out.back().q)) {
            throw InputError("the orders q must ascend: " + shortest(q) + " follows " +
                             shortest(out.back().q));
        }
        const Exponents e = exponents(q);
        if (above(e.f, law.supportDimension())) {
            broken("f = " + shortest(e.f) + " above D_0", q);
        }
        if (q >= alphaFrom && q <= alphaTo && above(0.0, e.alpha)) {
            broken("alpha = " + shortest(e.alpha) + " below 0", q);
        }
        if (q != 0.0 &&
            std::abs(q * e.hurst - (e.tau + 1.0)) > kSlack * std::max(1.0, std::abs(e.tau + 1.0))) {
            broken("q h = " + shortest(q * e.hurst) + ", not tau + 1", q);
        }
        if (!out.empty()) {
            const Exponents& last = out.back();
            const double secant = (e.tau - last.tau) / (q - last.q);
            if (above(e.alpha, last.alpha) || above(e.dq, last.dq)) {
                broken("alpha or D_q rises from q = " + shortest(last.q), q);
            }
            // τ is rounded at each end: the secant is known to 4 eps max|τ| / Δq only, which
            // dominates for orders a few units in the last place apart.
            const double rounding = 4 * std::numeric_limits<double>::epsilon() *
                                    std::max(std::abs(e.tau), std::abs(last.tau)) / (q - last.q);
            if (above(secant - rounding, last.alpha) || above(e.alpha, secant + rounding)) {
                broken("tau is not concave: its secant from q = " + shortest(last.q) + " is " +
                           shortest(secant),
                       q);
            }
        }
        out.push_back(e);
    }
    return out;
}

double RandomSpectrum::qStarMinus() const {
    const random::Law& law = *m_state->law;
    if (const double closed = law.qStarClosed(-1); !std::isnan(closed)) {
        return closed;
    }
    if (!law.fTurnsNegative(-1)) {
        return -kInfinity;
    }
    const auto keep = [&](double q) { return fAt(law, q) >= 0.0; };
    double inside = 0.0;
    double outside = -1.0;
    const double low = law.qMin();
    if (std::isfinite(low)) {
        // Halve the way to qMin, where f → -∞.
        outside = 0.5 * low;
        while (keep(outside)) {
            inside = outside;
            outside = low + 0.5 * (inside - low);
            if (outside == low || outside == inside) {
                broken("f stays positive up to qMin", inside);
            }
        }
    } else {
        while (keep(outside)) {
            inside = outside;
            outside *= 2.0;
            if (outside < -kFarthest) {
                beyondRange("q*-");
            }
        }
    }
    return boundary(inside, outside, keep);
}

double RandomSpectrum::qStarPlus() const {
    const random::Law& law = *m_state->law;
    if (const double closed = law.qStarClosed(1); !std::isnan(closed)) {
        return closed;
    }
    if (!law.fTurnsNegative(1)) {
        return kInfinity;
    }
    const auto keep = [&](double q) { return fAt(law, q) >= 0.0; };
    double inside = 1.0; // f(1) = α(1) = D_1 > 0
    double outside = 2.0;
    while (keep(outside)) {
        inside = outside;
        outside *= 2.0;
        if (outside > kFarthest) {
            beyondRange("q*+");
        }
    }
    return boundary(inside, outside, keep);
}

double RandomSpectrum::qCrit() const {
    const random::Law& law = *m_state->law;
    if (m_state->conservative) {
        return kInfinity;
    }
    if (const double closed = law.qCritClosed(); !std::isnan(closed)) {
        return closed;
    }
    if (!law.tauReturns()) {
        return kInfinity;
    }
    // τ rises from 0 at q = 1 (τ'(1) = D_1 > 0) and, concave, comes back down once.
    const auto keep = [&](double q) { return law.at(q).tau > 0.0; };
    double inside = 1.0;
    double outside = 2.0;
    while (keep(outside)) {
        inside = outside;
        outside *= 2.0;
        if (outside > kFarthest) {
            beyondRange("q_crit");
        }
    }
    return boundary(inside, outside, keep);
}

} // namespace veltrane
