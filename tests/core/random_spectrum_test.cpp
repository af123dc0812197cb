// The expected spectra of random cascade laws against 60-digit figures
// (tests/data/core/random-spectra.tsv, written by make-random-spectra.py), their orders q*±
// and q_crit against their defining equations, the laws that are deterministic cascades in
// disguise against the multifractal solver, and the bounds over seeded random laws.
#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <veltrane/errors.h>
#include <veltrane/multifractal.h>
#include <veltrane/random.h>

namespace veltrane {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The one tolerance: within tolerance of want, relative to |want| or to scale where that is
// larger (a value that is the difference of larger ones, as f = q α - τ, is only as precise as
// they are).
void expectClose(double got, double want, double tolerance, double scale, const std::string& what) {
    EXPECT_LE(std::abs(got - want), tolerance * std::max(std::abs(want), scale))
        << what << ": " << got << " against " << want;
}

RandomModel lawOf(const std::string& text) {
    if (text.starts_with("generators:")) {
        return RandomModel::readGenerators(test::replaced(text.substr(11), "\\n", "\n"));
    }
    return RandomModel::parse(text);
}

double number(const std::string& text) {
    return text == "inf" ? kInf : test::numbers(text).at(0);
}

TEST(RandomSpectrum, MeetsTheSixtyDigitFigures) {
    double worst = 0.0;
    for (const auto& row : test::readTable("core/random-spectra.tsv")) {
        ASSERT_EQ(row.size(), 7U);
        SCOPED_TRACE(testing::Message() << row[0] << " q = " << row[1]);
        const RandomSpectrum spectrum(lawOf(row[0]));
        const double q = number(row[1]);
        const Exponents e = spectrum.exponents(q);
        const double tau = number(row[2]);
        const double alpha = number(row[3]);
        const double f = number(row[4]);
        const double dq = number(row[5]);
        const double h = number(row[6]);
        const double floor = 1e-3;
        expectClose(e.tau, tau, 1e-13, floor, "tau");
        expectClose(e.alpha, alpha, 1e-13, floor, "alpha");
        expectClose(e.f, f, 1e-13, std::max({floor, std::abs(q * alpha), std::abs(tau)}), "f");
        expectClose(e.dq, dq, 1e-13, floor, "D_q");
        EXPECT_EQ(e.beta, -e.tau);
        if (std::isinf(h)) {
            EXPECT_EQ(e.hurst, kInf);
        } else {
            expectClose(e.hurst, h, 1e-13, floor, "h");
        }
        for (const auto& [got, want] : {std::pair{e.tau, tau}, {e.alpha, alpha}, {e.dq, dq}}) {
            worst = std::max(worst, std::abs(got - want) / std::max(std::abs(want), floor));
        }
    }
    std::cout << "largest relative error of tau, alpha, D_q: " << worst << "\n";
}

// f(α(q)) = q α - τ at q and its sign on either side.
void expectStar(const RandomSpectrum& spectrum, double q, const std::string& what) {
    ASSERT_TRUE(std::isfinite(q)) << what;
    const Exponents e = spectrum.exponents(q);
    EXPECT_LE(std::abs(e.f), 1e-12 * std::max({1.0, std::abs(q * e.alpha), std::abs(e.tau)}))
        << what << " " << q;
    EXPECT_GT(spectrum.exponents(q * (1 - 1e-6)).f, 0.0) << what;
    EXPECT_LT(spectrum.exponents(q * (1 + 1e-6)).f, 0.0) << what;
}

TEST(RandomSpectrum, OrdersWhereFAndTauCrossZero) {
    struct Case {
        const char* law;
        bool minusFinite;
        bool plusFinite;
        bool critFinite;
    };
    const Case cases[] = {
        {"beta:a=2", true, true, false},
        {"beta:a=0.3", true, true, false},
        {"dirichlet:a=0.5/1/2.5", true, true, false},
        {"permutation:w=0.2/0.3/0.5", false, false, false},
        {"permutation:w=1/1", false, false, false},
        {"twovalued:b=2,p=0.5,u=0.7", false, false, false}, // b p = b (1 - p) = 1
        {"twovalued:b=3,p=0.2,u=1.2", false, true, true},
        {"twovalued:b=3,p=0.5,u=0.6", false, false, false}, // b p, b (1 - p) ≥ 1
        {"twovalued:b=4,p=0.5,u=0.5", false, false, false},
        {"generators:0.5 | 0.3 | 0.4 0.6\\n0.5 | 0.5 0.75 | 1 2 1", true, true, false},
        {"generators:0.2 | | 1\\n0.8 | 0.25 | 0.5 0.5", false, false, false},
        {"generators:1 | 0.3 | 0.6 0.4", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.law);
        const RandomSpectrum spectrum(lawOf(c.law));
        const double minus = spectrum.qStarMinus();
        const double plus = spectrum.qStarPlus();
        if (c.minusFinite) {
            EXPECT_LT(minus, 0.0);
            EXPECT_GT(minus, spectrum.qMin());
            expectStar(spectrum, minus, "q*-");
        } else {
            EXPECT_EQ(minus, -kInf);
        }
        if (c.plusFinite) {
            EXPECT_GT(plus, 1.0);
            expectStar(spectrum, plus, "q*+");
        } else {
            EXPECT_EQ(plus, kInf);
        }
        const double crit = spectrum.qCrit();
        if (c.critFinite) {
            EXPECT_GT(crit, plus);
            EXPECT_LE(std::abs(spectrum.tau(crit)), 1e-13 * crit);
            EXPECT_GT(spectrum.tau(crit * (1 - 1e-6)), 0.0);
            EXPECT_LT(spectrum.tau(crit * (1 + 1e-6)), 0.0);
        } else {
            EXPECT_EQ(crit, kInf);
        }
    }
}

TEST(RandomSpectrum, LogNormalClosedForms) {
    for (const unsigned b : {2U, 3U, 10U, 64U}) {
        for (const double share : {0.0, 0.01, 0.3, 0.9}) {
            const double sigma2 = share * 2 * std::log(b);
            const RandomSpectrum spectrum(RandomModel::logNormal(b, sigma2));
            const double k = sigma2 / (2 * std::log(b));
            EXPECT_EQ(spectrum.qStarPlus(), k > 0 ? std::sqrt(1 / k) : kInf);
            EXPECT_EQ(spectrum.qStarMinus(), k > 0 ? -std::sqrt(1 / k) : -kInf);
            EXPECT_EQ(spectrum.qCrit(), k > 0 ? 1 / k : kInf);
            if (k > 0) {
                expectStar(spectrum, spectrum.qStarPlus(), "q*+");
                EXPECT_LE(std::abs(spectrum.tau(spectrum.qCrit())), 1e-13 / k);
            }
        }
    }
}

// Breaks i/b of a b-adic cell.
std::vector<double> evenBreaks(std::size_t b) {
    std::vector<double> breaks;
    for (std::size_t i = 1; i < b; ++i) {
        breaks.push_back(static_cast<double>(i) / static_cast<double>(b));
    }
    return breaks;
}

TEST(RandomSpectrum, DeterministicLawsMatchTheMultifractalSolver) {
    const std::vector<double> breaks = {0.1, 0.15, 0.4, 0.5, 0.7, 0.9};
    const std::vector<double> weights = {3, 1, 4, 1, 5, 9, 2};
    const RandomModel::Generator one[] = {{breaks, weights}};
    const double certain[] = {1.0};
    const RandomSpectrum single(RandomModel::generators(one, certain));
    const MultifractalSolver solver(breaks, weights);

    const std::vector<double> w = {0.05, 0.2, 0.25, 0.5};
    const RandomSpectrum shuffled(RandomModel::permutation(w));
    const MultifractalSolver cascade(evenBreaks(w.size()), w);
    for (double q = -30; q <= 30; q += 0.25) {
        SCOPED_TRACE(q);
        const Exponents e = single.exponents(q);
        const Exponents want = solver.exponents(q);
        expectClose(e.tau, -solver.beta(q), 1e-13, 1e-3, "tau");
        expectClose(e.alpha, want.alpha, 1e-12, 1e-3, "alpha");
        expectClose(e.dq, want.dq, 1e-12, 1e-3, "D_q");
        const Exponents p = shuffled.exponents(q);
        const Exponents pw = cascade.exponents(q);
        expectClose(p.tau, pw.tau, 1e-13, 1e-3, "permutation tau");
        expectClose(p.alpha, pw.alpha, 1e-12, 1e-3, "permutation alpha");
    }
    EXPECT_EQ(single.qStarPlus(), kInf);
    EXPECT_EQ(shuffled.qStarMinus(), -kInf);
}

// A random law of a family, with its seeds drawn from rng.
RandomModel randomLaw(int family, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto logUniform = [&](double lo, double hi) { return lo * std::pow(hi / lo, unit(rng)); };
    const auto base = [&](unsigned most) { return 2U + static_cast<unsigned>(rng() % (most - 1)); };
    switch (family) {
    case 0: {
        std::vector<double> w(base(64));
        for (double& x : w) {
            x = logUniform(1e-6, 1.0);
        }
        return RandomModel::permutation(w);
    }
    case 1: {
        std::vector<double> a(base(10));
        for (double& x : a) {
            x = logUniform(0.05, 20.0);
        }
        return RandomModel::dirichlet(a);
    }
    case 2: {
        const unsigned b = base(64);
        return RandomModel::logNormal(b, 0.999 * unit(rng) * 2 * std::log(b));
    }
    case 3:
        for (;;) {
            const unsigned b = base(16);
            const double p = 0.02 + 0.96 * unit(rng);
            const double u = (1 + unit(rng) * (1 / p - 1)) / b;
            try {
                return RandomModel::twoValued(b, p, u);
            } catch (const InputError&) {
                // degenerate: draw again
            }
        }
    default: {
        std::vector<RandomModel::Generator> generators(1 + rng() % 8);
        std::vector<double> pi;
        for (auto& g : generators) {
            const std::size_t branches = 2 + rng() % 9;
            for (std::size_t i = 0; i + 1 < branches; ++i) {
                g.breakPoints.push_back(unit(rng));
            }
            std::sort(g.breakPoints.begin(), g.breakPoints.end());
            g.weights.resize(branches);
            for (double& x : g.weights) {
                x = logUniform(1e-4, 1.0);
            }
            pi.push_back(logUniform(1e-3, 1.0));
        }
        return RandomModel::generators(generators, pi);
    }
    }
}

TEST(RandomSpectrum, RandomLawsKeepTheBounds) {
    std::mt19937_64 rng(20240611);
    for (int draw = 0; draw < 250; ++draw) {
        const RandomModel law = randomLaw(draw % 5, rng);
        SCOPED_TRACE(law.describe() + " (draw " + std::to_string(draw) + ")");
        const RandomSpectrum spectrum(law);
        EXPECT_EQ(spectrum.tau(1.0), 0.0);
        EXPECT_EQ(spectrum.tau(0.0), -1.0);
        std::vector<double> qs;
        for (double q = -12; q <= 12; q += 0.125) {
            if (q > spectrum.qMin() + 1e-3) {
                qs.push_back(q);
            }
        }
        // Orders a few units in the last place apart, about 0 and 1, where τ is known to a
        // rounding only.
        for (const double q : {-1e-12, 0.0, 1e-12, 1 - 1e-12, 1.0, 1 + 1e-12}) {
            qs.push_back(q);
        }
        std::sort(qs.begin(), qs.end());
        qs.erase(std::unique(qs.begin(), qs.end()), qs.end());
        std::vector<Exponents> points;
        ASSERT_NO_THROW(points = spectrum.exponentsMany(qs));
        const double minus = spectrum.qStarMinus();
        const double plus = spectrum.qStarPlus();
        EXPECT_LT(minus, 0.0);
        EXPECT_GT(plus, 1.0);
        for (const Exponents& e : points) {
            EXPECT_LE(e.f, 1.0 + 1e-12) << "q = " << e.q;
            if (e.q >= minus && e.q <= plus) {
                EXPECT_GE(e.f, -1e-12) << "q = " << e.q;
            } else {
                EXPECT_LT(e.f, 1e-12) << "q = " << e.q;
            }
        }
        if (!law.conservative()) {
            const double crit = spectrum.qCrit();
            EXPECT_GE(crit, plus); // q_crit > q*+ where finite
        }
    }
}

TEST(RandomSpectrum, RefusesOrdersOutsideTheMoments) {
    const RandomSpectrum beta(RandomModel::beta(0.5));
    EXPECT_EQ(beta.qMin(), -0.5);
    EXPECT_THROW(beta.tau(-0.5), InputError);
    EXPECT_THROW(beta.tau(std::nan("")), InputError);
    EXPECT_THROW(beta.tau(kInf), InputError);
    EXPECT_NO_THROW(beta.tau(-0.4999));
    const double descending[] = {1.0, 0.5};
    EXPECT_THROW(beta.exponentsMany(descending), InputError);
}

} // namespace
} // namespace veltrane
