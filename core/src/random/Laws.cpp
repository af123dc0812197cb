#include "Laws.h"

#include "LengthExponent.h"

#include <algorithm>
#include <cmath>
#include <veltrane/errors.h>

namespace veltrane::random {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The sums of the moment equations are formed as Σ c expm1(x) rather than Σ c exp(x) - 1 while
// every |x| is below this, where the two agree but the first keeps its relative precision.
constexpr double kSmallExponent = 0.5;

// Ratios within this much of the extreme, relative, count as reaching it for the limits of f.
constexpr double kRatioTie = 1e-12;

// ln Σ exp(x_i), shifted by the largest.
double logSumExp(const std::vector<double>& x) {
    const double top = *std::max_element(x.begin(), x.end());
    if (std::isinf(top)) {
        return top;
    }
    double sum = 0.0;
    for (const double v : x) {
        sum += std::exp(v - top);
    }
    return top + std::log(sum);
}

// One term of a moment equation Σ_j m_j exp(q a_j - τ e_j) = 1: an expected number m_j of
// children of weight exp(a_j) and length exp(e_j) < 1 a cell. Generator lists, permutations and
// two-valued laws are such lists; a b-adic law has every e_j = -ln b.
struct Atom {
    double logMass;
    double a;
    double e;
};

// τ solves Σ m_j exp(q a_j - τ e_j) = 1. Near an anchor q0 (1, where τ = 0 as Σ m e^a = 1; and
// 0, where τ = -1 as Σ m e^e = 1 for a law of full support) it is written τ = τ0 + s X with
// s = q - q0 and c_j the anchor's terms, normalized to sum 1, so that X (D_q at anchor 1, h at
// anchor 0) solves Σ c_j expm1(s (a_j - X e_j)) = 0, a sum of terms of one sign as X nears the
// root, which keeps D_q and h to their own precision as q nears 1 and 0. X lies between the
// least and greatest ratio a_j / e_j, where the sum changes sign; a safeguarded Newton finds it.
class AtomLaw final : public Law {
public:
    AtomLaw(std::vector<Atom> atoms, double supportDimension, bool canonical)
        : m_atoms(std::move(atoms)), m_support(supportDimension), m_canonical(canonical) {
        m_rMin = kInfinity;
        m_rMax = -kInfinity;
        for (const Atom& atom : m_atoms) {
            m_rMin = std::min(m_rMin, atom.a / atom.e);
            m_rMax = std::max(m_rMax, atom.a / atom.e);
        }
        m_anchor1 = anchorTerms(1.0, 0.0);
        if (m_support == 1.0) {
            m_anchor0 = anchorTerms(0.0, -1.0);
        }
    }

    Orders at(double q) const override {
        const bool nearZero = m_support == 1.0 && q < 0.5;
        const double q0 = nearZero ? 0.0 : 1.0;
        const double tau0 = nearZero ? -1.0 : 0.0;
        const double s = q - q0;
        Orders out;
        const double x = s == 0.0 ? 0.0 : solve(nearZero ? m_anchor0 : m_anchor1, s);
        out.tau = s == 0.0 ? tau0 : tau0 + s * x;
        out.alpha = alphaAt(q, out.tau);
        out.dq = q == 1.0 ? out.alpha : (nearZero ? out.tau / (q - 1.0) : x);
        if (q == 0.0) {
            out.hurst = m_support == 1.0 ? out.alpha : kInfinity;
        } else {
            out.hurst = nearZero ? x : (out.tau + 1.0) / q;
        }
        return out;
    }

    double supportDimension() const override { return m_support; }

    bool fTurnsNegative(int side) const override {
        // As q → ±∞ the atoms of the extreme ratio r take over: τ ≈ q r + Y with
        // Σ_{extreme} m_j exp(-Y e_j) = 1 and f → -Y, below 0 exactly when their masses sum
        // to less than 1.
        const double extreme = side > 0 ? m_rMin : m_rMax;
        double mass = 0.0;
        for (const Atom& atom : m_atoms) {
            if (std::abs(atom.a / atom.e - extreme) <=
                kRatioTie * std::max(1.0, std::abs(extreme))) {
                mass += std::exp(atom.logMass);
            }
        }
        return mass < 1.0 - kRatioTie;
    }

    bool tauReturns() const override {
        // τ(q) → -∞ as q → ∞ exactly when a weight above 1 is possible (e^a > 1).
        return m_canonical && std::any_of(m_atoms.begin(), m_atoms.end(),
                                          [](const Atom& atom) { return atom.a > 0.0; });
    }

private:
    struct Anchor {
        std::vector<double> logC; // ln c_j, normalized so that Σ c_j = 1 as computed
        std::vector<double> c;
    };

    Anchor anchorTerms(double q0, double tau0) const {
        Anchor anchor;
        for (const Atom& atom : m_atoms) {
            anchor.logC.push_back(atom.logMass + q0 * atom.a - tau0 * atom.e);
        }
        const double total = logSumExp(anchor.logC);
        for (double& v : anchor.logC) {
            v -= total;
            anchor.c.push_back(std::exp(v));
        }
        return anchor;
    }

    // The sum whose root X is, with its derivative in X: Σ c expm1(s y) where s y is small
    // everywhere on the bracket, else ln Σ c exp(s y), y_j = a_j - X e_j.
    std::pair<double, double> equation(const Anchor& anchor, double s, double x, bool small) const {
        double value = 0.0;
        double slope = 0.0;
        if (small) {
            for (std::size_t j = 0; j < m_atoms.size(); ++j) {
                const double y = s * (m_atoms[j].a - x * m_atoms[j].e);
                value += anchor.c[j] * std::expm1(y);
                slope -= s * anchor.c[j] * m_atoms[j].e * std::exp(y);
            }
            return {value, slope};
        }
        std::vector<double> terms(m_atoms.size());
        for (std::size_t j = 0; j < m_atoms.size(); ++j) {
            terms[j] = anchor.logC[j] + s * (m_atoms[j].a - x * m_atoms[j].e);
        }
        value = logSumExp(terms);
        double meanE = 0.0;
        for (std::size_t j = 0; j < m_atoms.size(); ++j) {
            meanE += std::exp(terms[j] - value) * m_atoms[j].e;
        }
        return {value, -s * meanE};
    }

    double solve(const Anchor& anchor, double s) const {
        if (m_rMax - m_rMin <= 0.0) {
            return m_rMin;
        }
        double spread = 0.0; // the largest |a - X e| over the bracket
        for (const Atom& atom : m_atoms) {
            spread = std::max(
                {spread, std::abs(atom.a - m_rMin * atom.e), std::abs(atom.a - m_rMax * atom.e)});
        }
        const bool small = std::abs(s) * spread <= kSmallExponent;
        // The sum rises with X for s > 0 and falls for s < 0; lo is where it is ≤ 0.
        double lo = s > 0.0 ? m_rMin : m_rMax;
        double hi = s > 0.0 ? m_rMax : m_rMin;
        double x = std::clamp(meanRatio(anchor), m_rMin, m_rMax);
        for (int pass = 0; pass < 200; ++pass) {
            const auto [value, slope] = equation(anchor, s, x, small);
            if (value == 0.0) {
                return x;
            }
            (value < 0.0 ? lo : hi) = x;
            double next = x - value / slope;
            const bool inside = std::isfinite(next) && (next - lo) * (next - hi) < 0.0;
            if (!inside) {
                next = lo + 0.5 * (hi - lo);
            }
            if (!(std::abs(next - x) > 1e-16 * std::abs(x)) ||
                !(std::abs(hi - lo) > 2e-16 * std::max(std::abs(lo), std::abs(hi)))) {
                return next;
            }
            x = next;
        }
        throw RuntimeError(ErrorKind::Internal, "no exponent found for s = " + std::to_string(s));
    }

    // α at the anchor itself: Σ c a / Σ c e, the start of Newton.
    double meanRatio(const Anchor& anchor) const {
        double ca = 0.0;
        double ce = 0.0;
        for (std::size_t j = 0; j < m_atoms.size(); ++j) {
            ca += anchor.c[j] * m_atoms[j].a;
            ce += anchor.c[j] * m_atoms[j].e;
        }
        return ca / ce;
    }

    // α = τ'(q) = Σ w a / Σ w e over the terms w_j = m_j exp(q a_j - τ e_j).
    double alphaAt(double q, double tau) const {
        std::vector<double> terms;
        terms.reserve(m_atoms.size());
        for (const Atom& atom : m_atoms) {
            terms.push_back(atom.logMass + q * atom.a - tau * atom.e);
        }
        const double top = *std::max_element(terms.begin(), terms.end());
        double wa = 0.0;
        double we = 0.0;
        for (std::size_t j = 0; j < m_atoms.size(); ++j) {
            const double w = std::exp(terms[j] - top);
            wa += w * m_atoms[j].a;
            we += w * m_atoms[j].e;
        }
        return wa / we;
    }

    std::vector<Atom> m_atoms;
    double m_support;
    bool m_canonical;
    double m_rMin = 0.0;
    double m_rMax = 0.0;
    Anchor m_anchor0;
    Anchor m_anchor1;
};

// E W_i^q = Γ(a_i + q) Γ(A) / (Γ(a_i) Γ(A + q)). Near the anchors q0 = 0 (c_i = 1/b) and 1
// (c_i = a_i / A) the moment is M(q0) Σ c_i exp(Δ_i) with
// Δ_i = ln Γ(a_i + q) - ln Γ(a_i + q0) - (ln Γ(A + q) - ln Γ(A + q0)), each a ratio of gammas
// to its own precision, and ln Σ c exp(Δ) = log1p(Σ c expm1(Δ)) while the Δ are small.
class DirichletLaw final : public Law {
public:
    explicit DirichletLaw(std::vector<double> alphas)
        : m_a(std::move(alphas)), m_rule(gaussLegendre(kLogGammaNodes)) {
        for (const double a : m_a) {
            m_total += a;
        }
        m_logBase = std::log(static_cast<double>(m_a.size()));
    }

    double qMin() const override { return -*std::min_element(m_a.begin(), m_a.end()); }

    Orders at(double q) const override {
        const bool nearZero = q < 0.5;
        const double q0 = nearZero ? 0.0 : 1.0;
        const double s = q - q0;
        const std::size_t n = m_a.size();
        std::vector<double> logTerms(n);
        std::vector<double> delta(n);
        double largest = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double logC = nearZero ? -m_logBase : std::log(m_a[i] / m_total);
            delta[i] =
                logGammaRatio(m_a[i] + q0, s, m_rule) - logGammaRatio(m_total + q0, s, m_rule);
            logTerms[i] = logC + delta[i];
            largest = std::max(largest, std::abs(delta[i]));
        }
        double logS = 0.0;
        if (largest <= kSmallExponent) {
            double sum = 0.0;
            for (std::size_t i = 0; i < n; ++i) {
                sum += std::exp(logTerms[i] - delta[i]) * std::expm1(delta[i]);
            }
            logS = std::log1p(sum);
        } else {
            logS = logSumExp(logTerms);
        }
        Orders out;
        const double x = s == 0.0 ? 0.0 : -logS / (s * m_logBase); // D_q or h
        out.tau = (nearZero ? -1.0 : 0.0) + (s == 0.0 ? 0.0 : s * x);
        // α = -(1/ln b) Σ w_i (ψ(a_i + q) - ψ(A + q)), w the shares of the moment.
        const double top = *std::max_element(logTerms.begin(), logTerms.end());
        const double psiTotal = digamma(m_total + q);
        double weighted = 0.0;
        double weights = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double w = std::exp(logTerms[i] - top);
            weighted += w * (digamma(m_a[i] + q) - psiTotal);
            weights += w;
        }
        out.alpha = -weighted / (weights * m_logBase);
        out.dq = q == 1.0 ? out.alpha : (nearZero ? out.tau / (q - 1.0) : x);
        out.hurst = q == 0.0 ? out.alpha : (nearZero ? x : (out.tau + 1.0) / q);
        return out;
    }

    // f → -∞ both as q → ∞ (τ grows as (A - a_max) log_b q while α → 0) and as q → -a_min
    // (τ → -∞ as log_b (q + a_min) while q α → -∞ as 1/(q + a_min)).
    bool fTurnsNegative(int /*side*/) const override { return true; }

private:
    std::vector<double> m_a;
    Quadrature m_rule;
    double m_total = 0.0;
    double m_logBase = 0.0;
};

// τ(q) = q - 1 - k (q² - q), k = σ² / (2 ln b); every exponent in closed form.
class LogNormalLaw final : public Law {
public:
    LogNormalLaw(unsigned base, double sigma2)
        : m_k(sigma2 / (2.0 * std::log(static_cast<double>(base)))) {}

    Orders at(double q) const override {
        Orders out;
        out.tau = (q - 1.0) * (1.0 - m_k * q);
        out.dq = 1.0 - m_k * q;
        out.alpha = 1.0 - m_k * (2.0 * q - 1.0);
        out.hurst = 1.0 - m_k * (q - 1.0);
        return out;
    }
    bool fTurnsNegative(int /*side*/) const override { return m_k > 0.0; }
    bool tauReturns() const override { return m_k > 0.0; }
    // f = 1 - k q², zero at ±1/sqrt(k); τ = 0 again at 1/k.
    double qStarClosed(int side) const override {
        return m_k > 0.0 ? side * std::sqrt(1.0 / m_k) : side * kInfinity;
    }
    double qCritClosed() const override { return m_k > 0.0 ? 1.0 / m_k : kInfinity; }

private:
    double m_k;
};

std::unique_ptr<const Law> generatorLaw(const RandomModel::Data& data) {
    std::vector<Atom> atoms;
    for (std::size_t k = 0; k < data.generators.size(); ++k) {
        const auto& g = data.generators[k];
        if (g.weights.size() == 1) {
            continue; // a cell left whole: its term π_k is the same on both sides, folded below
        }
        const double logPi = std::log(data.probabilities[k]);
        for (std::size_t i = 0; i < g.weights.size(); ++i) {
            const double left = i == 0 ? 0.0 : g.breakPoints[i - 1];
            const double right = i == g.breakPoints.size() ? 1.0 : g.breakPoints[i];
            atoms.push_back({logPi, std::log(g.weights[i]), -lengthExponent(left, right)});
        }
    }
    // Σ_k π_k (...) = 1 with the whole cells' π_0 moved over: the others' π over 1 - π_0.
    double split = 0.0;
    for (std::size_t k = 0; k < data.generators.size(); ++k) {
        split += data.generators[k].weights.size() > 1 ? data.probabilities[k] : 0.0;
    }
    for (Atom& atom : atoms) {
        atom.logMass -= std::log(split);
    }
    return std::make_unique<AtomLaw>(std::move(atoms), 1.0, false);
}

std::unique_ptr<const Law> twoValuedLaw(const RandomModel::Data& data) {
    const double b = data.base;
    const double p = data.values[0];
    const double u = data.values[1];
    const double v = data.values[2];
    const double e = -std::log(b);
    std::vector<Atom> atoms = {{std::log(b * p), std::log(u), e}};
    if (v > 0.0) {
        atoms.push_back({std::log(b * (1.0 - p)), std::log(v), e});
    }
    // Cells of mass 0 are not counted: the support has dimension log_b (b p) when v = 0.
    const double support = v > 0.0 ? 1.0 : std::log(b * p) / std::log(b);
    return std::make_unique<AtomLaw>(std::move(atoms), support, true);
}

} // namespace

std::unique_ptr<const Law> lawOf(const RandomModel::Data& data) {
    switch (data.kind) {
    case RandomModel::Kind::Generators:
        return generatorLaw(data);
    case RandomModel::Kind::Permutation: {
        std::vector<Atom> atoms;
        const double e = -std::log(static_cast<double>(data.base));
        for (const double w : data.values) {
            atoms.push_back({0.0, std::log(w), e});
        }
        return std::make_unique<AtomLaw>(std::move(atoms), 1.0, false);
    }
    case RandomModel::Kind::Dirichlet:
        return std::make_unique<DirichletLaw>(data.values);
    case RandomModel::Kind::LogNormal:
        return std::make_unique<LogNormalLaw>(data.base, data.values[0]);
    case RandomModel::Kind::TwoValued:
        return twoValuedLaw(data);
    }
    throw RuntimeError(ErrorKind::Internal, "a law of no known kind");
}

} // namespace veltrane::random
