// The exponents of every convention against 50-digit figures (tests/data/core/exponents.tsv,
// written by exponents.py beside it), and the identities between them on random measures.
#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <veltrane/errors.h>
#include <veltrane/multifractal.h>

namespace veltrane {
namespace {

// Within 1e-12 of the larger of |want| and scale: f = qα - τ is a difference of numbers of
// the size of qα, which bounds its error.
void expectClose(double got, double want, const char* what, double scale = 0.0) {
    EXPECT_NEAR(got, want, 1e-12 * std::max(std::fabs(want), scale)) << what;
}

TEST(Exponents, EveryConventionMeetsTheFiftyDigitFigures) {
    for (const test::Row& row : test::readTable("core/exponents.tsv")) {
        SCOPED_TRACE(row[0] + " / " + row[1] + " q " + row[2]);
        const MultifractalSolver solver(test::numbers(row[0]), test::numbers(row[1]));
        const double q = std::stod(row[2]);
        // Through the checked call, which a value out of its bounds would stop.
        std::vector<Exponents> checked(1);
        solver.exponentsMany(std::vector<double>{q}, checked, {});
        const Exponents& x = checked[0];
        const auto want = [&](std::size_t column) { return std::stod(row[column]); };
        EXPECT_EQ(x.q, q);
        expectClose(x.tau, want(3), "tau");
        expectClose(x.dq, want(4), "D_q");
        expectClose(x.hurst, want(5), "h");
        expectClose(x.zeta, want(6), "zeta");
        expectClose(x.beta, want(7), "beta");
        expectClose(x.alpha, want(8), "alpha");
        expectClose(x.f, want(9), "f", std::fabs(q * want(8)));
    }
}

// Where the conventions meet by definition, they meet exactly: τ(0) = -1, τ(1) = 0, h(0) = α(0)
// (to the solvers' precision), ζ(0) = 0, ζ = q h, τ = -β; and many orders at once give the
// bits of one at a time, checked, on any number of threads.
TEST(Exponents, TheConventionsMeetWhereTheyMustOnRandomMeasures) {
    std::mt19937_64 engine(28);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    for (const int branches : {2, 3, 5, 12, 40}) {
        SCOPED_TRACE(branches);
        std::vector<double> b(static_cast<std::size_t>(branches - 1));
        std::vector<double> w(static_cast<std::size_t>(branches));
        std::generate(b.begin(), b.end(), [&] { return uniform(engine); });
        std::generate(w.begin(), w.end(), [&] { return 1e-3 + uniform(engine); });
        std::sort(b.begin(), b.end());
        const MultifractalSolver solver(b, w);
        const Exponents zero = solver.exponents(0);
        const Exponents one = solver.exponents(1);
        EXPECT_TRUE(zero.tau == -1 && zero.zeta == 0 && zero.beta == 1 && zero.f == 1);
        EXPECT_TRUE(one.tau == 0 && !std::signbit(one.tau) && one.dq == one.alpha &&
                    one.alpha == one.f);
        expectClose(zero.hurst, zero.alpha, "h(0) = alpha(0)");
        EXPECT_NEAR(solver.exponents(1e-9).hurst, zero.hurst, 1e-7) << "h is continuous at 0";
        std::vector<double> qs;
        for (double q = -20; q <= 20; q += 0.25) {
            qs.push_back(q);
        }
        std::vector<Exponents> many(qs.size());
        std::vector<Exponents> threaded(qs.size());
        solver.exponentsMany(qs, many, {1});
        solver.exponentsMany(qs, threaded, {3});
        for (std::size_t i = 0; i < qs.size(); ++i) {
            const Exponents single = solver.exponents(qs[i]);
            EXPECT_TRUE(many[i].tau == -many[i].beta && many[i].zeta == qs[i] * many[i].hurst);
            EXPECT_TRUE(many[i].hurst == single.hurst && many[i].f == single.f &&
                        threaded[i].hurst == single.hurst && threaded[i].alpha == single.alpha);
        }
    }
}

TEST(Exponents, RefusedOrdersAreInputErrors) {
    const MultifractalSolver solver(std::vector<double>{0.3}, std::vector<double>{1, 2});
    for (const double q : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        EXPECT_THROW(solver.exponents(q), InputError);
    }
}

} // namespace
} // namespace veltrane
