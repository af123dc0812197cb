// The multifractal solver against closed forms, the exact solver and a long double reference,
// on the measures of tests/data/analysis/multifractal.tsv.
#include "BreakPoints.h"
#include "ExactSpectrum.h"
#include "Multifractal.h"
#include "TestSupport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <sstream>

namespace veltrane {
namespace {

using Long = long double;

using test::numbers;

// Within 1e-12 of want, relative to |want| or to 0.01 where want is smaller.
void expectClose(double got, Long want, const char* what) {
    EXPECT_LE(std::fabs(got - want), 1e-12L * std::max(std::fabs(want), 0.01L))
        << what << " " << got << " against " << static_cast<double>(want);
}

// The measure in long double, solved plainly: τ by Newton from 1 - q, the order of an α by
// Newton on α(q) from a nearby q.
class Reference {
public:
    struct Point {
        Long alpha, f, q, tau, slope; // slope: dα/dq
    };
    Reference(const std::vector<double>& b, const std::vector<double>& w) {
        const Long total = std::accumulate(w.begin(), w.end(), Long{0});
        for (std::size_t i = 0; i < w.size(); ++i) {
            m_a.push_back(std::log(w[i] / total));
            m_e.push_back(-std::log(Long{i == b.size() ? 1.0 : b[i]} - (i == 0 ? 0.0 : b[i - 1])));
        }
    }
    Point at(Long q) const {
        Long t = 1 - q;
        for (Long step = 1; std::fabs(step) > 1e-17L * (1 + std::fabs(t)); t += step) {
            const std::array<Long, 6> s = sums(q, t);
            step = s[0] / s[2];
        }
        const auto [phi, a, e, aa, ae, ee] = sums(q, t);
        const Long alpha = -a / e;
        const Long variance = aa - a * a + 2 * alpha * (ae - a * e) + alpha * alpha * (ee - e * e);
        return {alpha, t + q * alpha, q, t, -variance / e};
    }
    Point atAlpha(Long alpha, Long q) const {
        for (int k = 0; k < 6; ++k) {
            const Point p = at(q);
            q -= (p.alpha - alpha) / p.slope;
        }
        return at(q);
    }

private:
    // ln Σ exp(q a - t e), then the Gibbs means of a, e, a², ae and e².
    std::array<Long, 6> sums(Long q, Long t) const {
        Long top = -INFINITY;
        for (std::size_t i = 0; i < m_a.size(); ++i) {
            top = std::max(top, q * m_a[i] - t * m_e[i]);
        }
        std::array<Long, 6> s{};
        for (std::size_t i = 0; i < m_a.size(); ++i) {
            const Long a = m_a[i];
            const Long e = m_e[i];
            const Long u = std::exp(q * a - t * e - top);
            const std::array<Long, 6> terms{1, a, e, a * a, a * e, e * e};
            for (std::size_t k = 0; k < 6; ++k) {
                s[k] += u * terms[k];
            }
        }
        for (std::size_t k = 1; k < 6; ++k) {
            s[k] /= s[0];
        }
        s[0] = top + std::log(s[0]);
        return s;
    }
    std::vector<Long> m_a, m_e;
};

void endsOfTheRange(const MultifractalSolver& solver, const test::Row& row) {
    const std::vector<MultifractalPoint> points = solver.spectrum(65);
    const double alphaMin = std::stod(row[3]);
    if (alphaMin == std::stod(row[5])) {
        ASSERT_EQ(points.size(), 1U);
        EXPECT_TRUE(points[0].alpha == 1.0 && points[0].f == 1.0 && solver.tau(3.5) == -2.5);
        return;
    }
    for (const std::size_t end : {0, 1}) {
        const MultifractalPoint& p = end == 0 ? points.front() : points.back();
        const double alpha = std::stod(row[3 + 2 * end]);
        const double f = std::stod(row[4 + 2 * end]);
        EXPECT_NEAR(p.alpha, alpha, 1e-15 * alpha);
        EXPECT_NEAR(p.f, f, 1e-15);
        EXPECT_TRUE((p.f == 0.0) == (f == 0.0) && p.q == (end == 0 ? INFINITY : -INFINITY));
    }
    EXPECT_EQ(solver.atAlpha(alphaMin * (1 - 1e-12)).f, points.front().f);
    EXPECT_TRUE(points[1].f > points[0].f && points[63].f > points[64].f);
}

void equalWeightsTieToTheExactSolver(const std::vector<double>& b) {
    const std::size_t n = b.size() + 1;
    const ExactSolver exact(branchExponents(b));
    for (const MultifractalPoint& p :
         MultifractalSolver(b, std::vector<double>(n, 1.0)).spectrum(33)) {
        const double lambda = std::log(static_cast<double>(n)) / p.alpha;
        EXPECT_NEAR(p.f, exact.atLyapunov(lambda).dimension, 1e-12 * p.f) << "at " << p.alpha;
    }
}

void refused(const std::vector<double>& b, const std::vector<double>& w, const test::Row& row) {
    try {
        const MultifractalSolver solver(b, w);
        ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(dynamic_cast<const WeightError*>(&error) != nullptr, row[3] == "weight");
        EXPECT_EQ(error.what(), row[4]);
    }
}

// τ(0) = 1, τ(1) = 0 and α(1) = f(α(1)) = D_1 exactly; D_q near 1 on its tangent there
// (dD_q/dq = dα/dq / 2 at q = 1); the rest against the reference; the same bits on any threads.
void againstTheReference(unsigned seed, int branches) {
    std::mt19937_64 engine(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> b(static_cast<std::size_t>(branches - 1));
    std::vector<double> w(static_cast<std::size_t>(branches));
    std::generate(b.begin(), b.end(), [&] { return uniform(engine); });
    std::generate(w.begin(), w.end(), [&] { return 0.05 + uniform(engine); });
    std::sort(b.begin(), b.end());
    const MultifractalSolver solver(b, w);
    const Reference reference(b, w);
    const Reference::Point one = reference.at(1);
    EXPECT_TRUE(solver.tau(0) == 1 && solver.tau(1) == 0 && solver.atQ(0).f == 1);
    EXPECT_EQ(solver.atQ(1).alpha, solver.atQ(1).f);
    expectClose(solver.dq(1).dq, one.alpha, "D_1");
    for (const double delta : {-1e-8, 1e-9}) {
        expectClose(solver.dq(1 + delta).dq, one.alpha + delta * one.slope / 2, "D_q near 1");
    }
    for (const double q : {-30.0, -4.0, -1.0, 0.25, 1 - 1e-4, 1 + 1e-4, 3.0, 30.0}) {
        SCOPED_TRACE(q);
        const MultifractalPoint p = solver.atQ(q);
        const Reference::Point want = reference.at(q);
        expectClose(p.alpha, want.alpha, "alpha");
        expectClose(p.f, want.f, "f");
        expectClose(p.tau, want.tau, "tau");
        expectClose(solver.dq(q).dq, want.tau / (1 - q), "D_q");
    }
    const std::vector<MultifractalPoint> points = solver.spectrum(33);
    EXPECT_TRUE(points.front().f == 0 && points.back().f == 0);
    for (std::size_t i = 1; i + 1 < points.size(); ++i) {
        SCOPED_TRACE(points[i].alpha);
        const Reference::Point want = reference.atAlpha(points[i].alpha, points[i].q);
        expectClose(points[i].q, want.q, "q");
        expectClose(points[i].f, want.f, "f");
        expectClose(points[i].tau, want.tau, "tau");
        expectClose(solver.atAlpha(points[i].alpha).f, want.f, "f alone");
    }
    const std::size_t many = MultifractalSolver::kBlockPoints + 7;
    const std::vector<MultifractalPoint> single = solver.spectrum(many, {1});
    const std::vector<MultifractalPoint> three = solver.spectrum(many, {3});
    EXPECT_TRUE(std::equal(single.begin(), single.end(), three.begin(), [](auto& x, auto& y) {
        return x.alpha == y.alpha && x.f == y.f && x.q == y.q && x.tau == y.tau;
    }));
}

TEST(MultifractalSolver, MeetsTheFiguresOfTheTable) {
    for (const test::Row& row : test::readTable("analysis/multifractal.tsv")) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        if (row[0] == "ends") {
            endsOfTheRange(MultifractalSolver(numbers(row[1]), numbers(row[2])), row);
        } else if (row[0] == "tie") {
            equalWeightsTieToTheExactSolver(numbers(row[1]));
        } else if (row[0] == "refuse") {
            refused(numbers(row[1]), numbers(row[2]), row);
        } else if (row[0] == "random") {
            againstTheReference(static_cast<unsigned>(std::stoul(row[1])), std::stoi(row[2]));
        } else {
            ADD_FAILURE() << "unknown kind";
        }
    }
}

} // namespace
} // namespace veltrane
