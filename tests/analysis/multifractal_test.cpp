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
#include <random>
#include <sstream>

namespace veltrane {
namespace {

using Long = long double;

std::vector<double> numbers(const std::string& words) {
    std::istringstream in(words);
    std::vector<double> values;
    for (std::string word; in >> word;) {
        values.push_back(std::stod(word));
    }
    return values;
}

// Within 1e-12 of want, relative to |want| or to 0.01 where want is smaller.
void expectClose(double got, Long want, const char* what) {
    EXPECT_LE(std::fabs(got - want), 1e-12L * std::max(std::fabs(want), 0.01L))
        << what << " " << got << " against " << static_cast<double>(want);
}

// The measure in long double, solved plainly: τ by Newton from 1 - q, and the order of an α
// by Newton on α(q) from a nearby q.
class Reference {
public:
    struct Point {
        Long alpha, f, q, tau, slope; // slope: dα/dq
    };
    Reference(const std::vector<double>& b, const std::vector<double>& w) {
        Long total = 0;
        for (const double x : w) {
            total += x;
        }
        for (std::size_t i = 0; i < w.size(); ++i) {
            m_a.push_back(std::log(w[i] / total));
            m_e.push_back(-std::log(Long{i == b.size() ? 1.0 : b[i]} - (i == 0 ? 0.0 : b[i - 1])));
        }
    }
    Long ratio(bool largest) const {
        Long r = -m_a[0] / m_e[0];
        for (std::size_t i = 0; i < m_a.size(); ++i) {
            r = largest ? std::max(r, -m_a[i] / m_e[i]) : std::min(r, -m_a[i] / m_e[i]);
        }
        return r;
    }
    Point at(Long q) const {
        Long t = 1 - q;
        for (int k = 0; k < 200; ++k) {
            const std::array<Long, 6> s = sums(q, t);
            const Long step = s[0] / s[2];
            t += step;
            if (std::fabs(step) <= 1e-17L * (1 + std::fabs(t))) {
                break;
            }
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
            const Long u = std::exp(q * m_a[i] - t * m_e[i] - top);
            const Long a = m_a[i];
            const Long e = m_e[i];
            s = {s[0] + u,         s[1] + u * a,     s[2] + u * e,
                 s[3] + u * a * a, s[4] + u * a * e, s[5] + u * e * e};
        }
        return {top + std::log(s[0]), s[1] / s[0], s[2] / s[0],
                s[3] / s[0],          s[4] / s[0], s[5] / s[0]};
    }
    std::vector<Long> m_a, m_e;
};

void endsOfTheRange(const std::vector<double>& b, const std::vector<double>& w,
                    const test::Row& row) {
    const MultifractalSolver solver(b, w);
    const std::vector<MultifractalPoint> points = solver.spectrum(65);
    const double alphaMin = std::stod(row[3]);
    if (alphaMin == std::stod(row[5])) {
        ASSERT_EQ(points.size(), 1U);
        EXPECT_TRUE(solver.singlePoint());
        EXPECT_EQ(points[0].alpha, 1.0);
        EXPECT_EQ(points[0].f, 1.0);
        EXPECT_EQ(solver.tau(3.5), -2.5);
        return;
    }
    ASSERT_EQ(points.size(), 65U);
    const auto expectEnd = [](const MultifractalPoint& p, double alpha, double f, double q) {
        EXPECT_NEAR(p.alpha, alpha, 1e-15 * alpha);
        EXPECT_NEAR(p.f, f, 1e-15);
        EXPECT_EQ(p.f == 0.0, f == 0.0);
        EXPECT_EQ(p.q, q);
    };
    expectEnd(points.front(), alphaMin, std::stod(row[4]), INFINITY);
    expectEnd(points.back(), std::stod(row[5]), std::stod(row[6]), -INFINITY);
    EXPECT_EQ(solver.atAlpha(alphaMin * (1 - 1e-12)).f, points.front().f);
    EXPECT_GT(points[1].f, points.front().f);
    EXPECT_GT(points[63].f, points.back().f);
}

void equalWeightsTieToTheExactSolver(const std::vector<double>& b) {
    const std::size_t n = b.size() + 1;
    const MultifractalSolver solver(b, std::vector<double>(n, 1.0));
    const ExactSolver exact(branchExponents(b));
    for (const MultifractalPoint& p : solver.spectrum(33)) {
        const double dimension =
            exact.atLyapunov(std::log(static_cast<double>(n)) / p.alpha).dimension;
        EXPECT_NEAR(p.f, dimension, 1e-12 * dimension) << "at " << p.alpha;
    }
}

void momentsAtZeroAndOne(const std::vector<double>& b, const std::vector<double>& w) {
    const MultifractalSolver solver(b, w);
    EXPECT_EQ(solver.tau(0.0), 1.0);
    EXPECT_EQ(solver.tau(1.0), 0.0);
    EXPECT_EQ(solver.atQ(0.0).f, 1.0);
    EXPECT_EQ(solver.dq(0.0).dq, 1.0);
    // p-weighted means of ln p, ln(1/ℓ) and x = ln p + D_1 ln(1/ℓ); D_q = D_1 - δ Var(x) / 2<e>
    // + O(δ²) at q = 1 + δ.
    const std::vector<double> e = branchExponents(b);
    double total = 0.0;
    for (const double x : w) {
        total += x;
    }
    double a = 0.0;
    double mean = 0.0;
    for (std::size_t i = 0; i < w.size(); ++i) {
        a += w[i] / total * std::log(w[i] / total);
        mean += w[i] / total * e[i];
    }
    const double d1 = -a / mean;
    double variance = 0.0;
    for (std::size_t i = 0; i < w.size(); ++i) {
        variance += w[i] / total * std::pow(std::log(w[i] / total) + d1 * e[i], 2);
    }
    EXPECT_NEAR(solver.dq(1.0).dq, d1, 1e-14 * d1);
    const MultifractalPoint one = solver.atQ(1.0);
    EXPECT_EQ(one.alpha, one.f);
    EXPECT_NEAR(one.alpha, d1, 1e-14 * d1);
    for (const double delta : {-1e-8, 1e-9, 1e-12}) {
        EXPECT_NEAR(solver.dq(1.0 + delta).dq, d1 - delta * variance / (2 * mean), 1e-14 * d1);
    }
}

void refused(const std::vector<double>& b, const std::vector<double>& w, const test::Row& row) {
    try {
        const MultifractalSolver solver(b, w);
        ADD_FAILURE() << "accepted";
    } catch (const WeightError& error) {
        EXPECT_EQ(row[3], "weight");
        EXPECT_EQ(error.what(), row[4]);
    } catch (const BreakPointError& error) {
        EXPECT_EQ(row[3], "break point");
        EXPECT_EQ(error.what(), row[4]);
    }
}

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
    for (const double q : {-30.0, -4.0, -1.0, 0.25, 1 - 1e-4, 1 + 1e-4, 3.0, 30.0}) {
        SCOPED_TRACE(q);
        const MultifractalPoint p = solver.atQ(q);
        const Reference::Point want = reference.at(q);
        expectClose(p.alpha, want.alpha, "alpha");
        expectClose(p.f, want.f, "f");
        expectClose(p.tau, want.tau, "tau");
        expectClose(solver.tau(q), want.tau, "tau alone");
        expectClose(solver.dq(q).dq, want.tau / (1 - q), "D_q");
    }
    const std::vector<MultifractalPoint> points = solver.spectrum(33);
    expectClose(points.front().alpha, reference.ratio(false), "alpha min");
    expectClose(points.back().alpha, reference.ratio(true), "alpha max");
    EXPECT_EQ(points.front().f, 0.0);
    EXPECT_EQ(points.back().f, 0.0);
    for (std::size_t i = 1; i + 1 < points.size(); ++i) {
        SCOPED_TRACE(points[i].alpha);
        const Reference::Point want = reference.atAlpha(points[i].alpha, points[i].q);
        expectClose(points[i].q, want.q, "q");
        expectClose(points[i].f, want.f, "f");
        expectClose(points[i].tau, want.tau, "tau");
        expectClose(solver.atAlpha(points[i].alpha).f, want.f, "f alone");
    }
    const std::size_t many = MultifractalSolver::kBlockPoints + 7;
    const std::vector<MultifractalPoint> one = solver.spectrum(many, {1});
    const std::vector<MultifractalPoint> three = solver.spectrum(many, {3});
    EXPECT_TRUE(std::equal(one.begin(), one.end(), three.begin(), [](auto& x, auto& y) {
        return x.alpha == y.alpha && x.f == y.f && x.q == y.q && x.tau == y.tau;
    }));
}

TEST(MultifractalSolver, MeetsTheFiguresOfTheTable) {
    for (const test::Row& row : test::readTable("analysis/multifractal.tsv")) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        if (row[0] == "random") {
            againstTheReference(static_cast<unsigned>(std::stoul(row[1])), std::stoi(row[2]));
            continue;
        }
        const std::vector<double> b = numbers(row[1]);
        const std::vector<double> w = row[0] == "tie" ? std::vector<double>{} : numbers(row[2]);
        if (row[0] == "ends") {
            endsOfTheRange(b, w, row);
        } else if (row[0] == "tie") {
            equalWeightsTieToTheExactSolver(b);
        } else if (row[0] == "moments") {
            momentsAtZeroAndOne(b, w);
        } else if (row[0] == "refuse") {
            refused(b, w, row);
        } else {
            ADD_FAILURE() << "unknown kind";
        }
    }
}

} // namespace
} // namespace veltrane
