// The multifractal solver against closed forms, the exact solver and a quad-precision
// reference, on the measures of tests/data/core/multifractal.tsv.
#include "TestSupport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numeric>
#include <quadmath.h>
#include <random>
#include <sstream>
#include <veltrane/errors.h>
#include <veltrane/exact.h>
#include <veltrane/maps.h>
#include <veltrane/multifractal.h>

namespace veltrane {
namespace {

__extension__ typedef __float128 Long;

using test::numbers;

// Within 1e-12 of want, relative to |want| or to floor where want is smaller.
void expectClose(double got, Long want, const char* what, Long floor = Long{1} / 100) {
    EXPECT_LE(fabsq(got - want), Long{1e-12} * std::max(fabsq(want), floor))
        << what << " " << got << " against " << static_cast<double>(want);
}

// ln of the share part / (part + rest) of parts that are positive, to its own precision also
// where the share is close to 1.
Long logShare(Long part, Long rest) {
    return part > rest ? log1pq(-rest / (part + rest)) : logq(part / (part + rest));
}

// The measure in quad precision: D_q by Newton on ψ(D) = ln(Σ p exp(δ x)) / δ, δ = q - 1 and
// x = e D + ln p, written as z* + ln(Σ exp(δ (z - z*))) / δ with z = x + ln p / δ =
// e D + q ln p / δ, which no order q however large or small makes cancel; τ = (1 - q) D, and the
// point at q from the Gibbs means there; the order of an α by Newton on α(q) from a nearby q. The
// logarithms of the weights and lengths come from the others' totals where those are small, so that
// a branch or weight within 1e-300 of the whole keeps its relative precision.
class Reference {
public:
    struct Point {
        Long alpha, f, q, tau, slope; // slope: dα/dq
    };
    Reference(const std::vector<double>& b, const std::vector<double>& w) {
        for (std::size_t i = 0; i < w.size(); ++i) {
            Long rest = 0;
            for (std::size_t j = 0; j < w.size(); ++j) {
                rest += j == i ? 0 : w[j];
            }
            const Long left = i == 0 ? 0 : b[i - 1];
            const Long right = i == b.size() ? 1 : b[i];
            m_a.push_back(logShare(w[i], rest));
            m_e.push_back(-logShare(right - left, left + (1 - right)));
        }
        Long pa = 0;
        Long pe = 0;
        for (std::size_t i = 0; i < m_a.size(); ++i) {
            pa += expq(m_a[i]) * m_a[i];
            pe += expq(m_a[i]) * m_e[i];
        }
        m_d1 = -pa / pe;
    }
    Long dq(Long q, Long d) const {
        const Long delta = q - 1;
        if (delta == 0) {
            return m_d1;
        }
        for (int pass = 0; pass < 1000; ++pass) {
            std::size_t top = 0;
            const auto z = [&](std::size_t i) { return m_e[i] * d + m_a[i] * q / delta; };
            for (std::size_t i = 1; i < m_a.size(); ++i) {
                top = (delta > 0 ? z(i) > z(top) : z(i) < z(top)) ? i : top;
            }
            Long rest = 0; // the terms beside the top one, which is 1
            Long sumE = m_e[top];
            for (std::size_t i = 0; i < m_a.size(); ++i) {
                const Long u = i == top ? 0 : expq(delta * (z(i) - z(top)));
                rest += u;
                sumE += u * m_e[i];
            }
            const Long step = (z(top) + log1pq(rest) / delta) / (sumE / (1 + rest));
            d -= step;
            if (fabsq(step) <= Long{1e-30} * fabsq(d)) {
                break;
            }
        }
        return d;
    }
    Long dq(Long q) const { return dq(q, m_d1); }
    Point at(Long q, Long d) const {
        const Long t = (1 - q) * dq(q, d);
        const auto [phi, a, e, aa, ae, ee] = sums(q, t);
        const Long alpha = -a / e;
        const Long variance = aa - a * a + 2 * alpha * (ae - a * e) + alpha * alpha * (ee - e * e);
        return {alpha, t + q * alpha, q, t, -variance / e};
    }
    Point at(Long q) const { return at(q, m_d1); }
    Point atAlpha(Long alpha, Long q) const {
        Long d = m_d1;
        for (int k = 0; k < 8; ++k) {
            const Point p = at(q, d);
            q -= (p.alpha - alpha) / p.slope;
            d = q == 1 ? m_d1 : p.tau / (1 - p.q);
        }
        return at(q, d);
    }

private:
    // ln Σ exp(q a - t e), then the Gibbs means of a, e, a², ae and e².
    std::array<Long, 6> sums(Long q, Long t) const {
        Long top = -HUGE_VALQ;
        for (std::size_t i = 0; i < m_a.size(); ++i) {
            top = std::max(top, q * m_a[i] - t * m_e[i]);
        }
        std::array<Long, 6> s{};
        for (std::size_t i = 0; i < m_a.size(); ++i) {
            const Long a = m_a[i];
            const Long e = m_e[i];
            const Long u = expq(q * a - t * e - top);
            const std::array<Long, 6> terms{1, a, e, a * a, a * e, e * e};
            for (std::size_t k = 0; k < 6; ++k) {
                s[k] += u * terms[k];
            }
        }
        for (std::size_t k = 1; k < 6; ++k) {
            s[k] /= s[0];
        }
        s[0] = top + logq(s[0]);
        return s;
    }
    std::vector<Long> m_a, m_e;
    Long m_d1 = 0;
};

void endsOfTheRange(const MultifractalSolver& solver, const test::Row& row) {
    const std::vector<MultifractalPoint> points = solver.spectrum(65).points;
    const double alphaMin = std::stod(row[3]);
    if (alphaMin == std::stod(row[5])) {
        ASSERT_EQ(points.size(), 1U);
        EXPECT_TRUE(points[0].alpha == 1.0 && points[0].f == 1.0 && solver.beta(3.5) == -2.5);
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
    // f rises from an end of dimension 0; an end of a positive one may lie beyond the maximum,
    // where ratios within rounding of each other reach it.
    EXPECT_TRUE(points[1].f > points[0].f || std::stod(row[4]) > 0);
    EXPECT_TRUE(points[63].f > points[64].f || std::stod(row[6]) > 0);
}

void equalWeightsTieToTheExactSolver(const std::vector<double>& b) {
    const std::size_t n = b.size() + 1;
    const ExactSolver exact(branchExponents(b));
    for (const MultifractalPoint& p :
         MultifractalSolver(b, std::vector<double>(n, 1.0)).spectrum(33).points) {
        const double lambda = std::log(static_cast<double>(n)) / p.alpha;
        // At an end f rises from 0 with an infinite slope: the last bit of α moves it by some
        // 1e-15, hence the floor.
        expectClose(p.f, exact.atLyapunov(lambda).dimension, "f");
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
    EXPECT_TRUE(solver.beta(0) == 1 && solver.beta(1) == 0 && solver.atQ(0).f == 1);
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
        expectClose(p.beta, want.tau, "tau");
        expectClose(solver.dq(q).dq, want.tau / (1 - q), "D_q");
    }
    const std::vector<MultifractalPoint> points = solver.spectrum(33).points;
    EXPECT_TRUE(points.front().f == 0 && points.back().f == 0);
    for (std::size_t i = 1; i + 1 < points.size(); ++i) {
        SCOPED_TRACE(points[i].alpha);
        const Reference::Point want = reference.atAlpha(points[i].alpha, points[i].q);
        expectClose(points[i].q, want.q, "q");
        expectClose(points[i].f, want.f, "f");
        expectClose(points[i].beta, want.tau, "tau");
        expectClose(solver.atAlpha(points[i].alpha).f, want.f, "f alone");
    }
    const std::size_t many = kSpectrumBlock * 3 + 7;
    const std::vector<MultifractalPoint> single = solver.spectrum(many, {1}).points;
    const std::vector<MultifractalPoint> three = solver.spectrum(many, {3}).points;
    EXPECT_TRUE(std::equal(single.begin(), single.end(), three.begin(), [](auto& x, auto& y) {
        return x.alpha == y.alpha && x.f == y.f && x.q == y.q && x.beta == y.beta;
    }));
}

// τ(q) and D_q within 1e-12 of the reference, or an overflow where τ lies beyond the range of
// doubles; then the interior points of the spectrum at their α.
void extremes(const std::vector<double>& b, const std::vector<double>& w,
              const std::vector<double>& qs) {
    const MultifractalSolver solver(b, w);
    const Reference reference(b, w);
    for (const double q : qs) {
        SCOPED_TRACE(q);
        const Long want = reference.dq(q);
        if (!(fabsq((1 - Long{q}) * want) < std::numeric_limits<double>::max())) {
            EXPECT_THROW(solver.dq(q), RuntimeError);
            continue;
        }
        const DqPoint d = solver.dq(q);
        expectClose(d.dq, want, "D_q", 0);
        expectClose(d.beta, (1 - Long{q}) * want, "tau", 0);
    }
    // A ratio beyond the doubles, or orders q of the interior points below the normal
    // doubles: no spectrum.
    const std::vector<double> e = branchExponents(b);
    const double qUnit =
        1 / (*std::max_element(e.begin(), e.end()) * (solver.alphaMax() - solver.alphaMin()));
    if (!(qUnit >= std::numeric_limits<double>::min())) {
        EXPECT_THROW(solver.spectrum(9), RuntimeError);
        return;
    }
    const std::vector<MultifractalPoint> points = solver.spectrum(9).points;
    for (std::size_t i = 1; i + 1 < points.size(); ++i) {
        SCOPED_TRACE(points[i].alpha);
        const Reference::Point want = reference.atAlpha(points[i].alpha, points[i].q);
        expectClose(points[i].q, want.q, "q", 0);
        expectClose(points[i].f, want.f, "f", 0);
        expectClose(points[i].beta, want.tau, "tau", 0);
    }
}

// A measure of a family, drawn from the seed: break points and weights of the given count of
// branches, some branches within 1e-300 of nothing or of the whole and weights as far apart.
struct Drawn {
    std::vector<double> breaks;
    std::vector<double> weights;
};

Drawn draw(const std::string& family, std::size_t branches, std::mt19937_64& engine) {
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    Drawn m;
    const auto logUniform = [&](double lowExp, double highExp) {
        return std::pow(10.0, lowExp + (highExp - lowExp) * uniform(engine));
    };
    if (family == "tiny") { // up to three branches of 1e-300 .. 1e-3 at 0, ordinary ones after
        const double tiny = logUniform(-300, -3);
        const std::size_t few = std::min<std::size_t>(3, branches - 1);
        for (std::size_t i = 0; i < few; ++i) {
            m.breaks.push_back(tiny * static_cast<double>(i + 1));
        }
        std::vector<double> rest(branches - 1 - few);
        std::generate(rest.begin(), rest.end(), [&] { return 0.01 + 0.98 * uniform(engine); });
        std::sort(rest.begin(), rest.end());
        m.breaks.insert(m.breaks.end(), rest.begin(), rest.end());
        m.breaks.erase(std::unique(m.breaks.begin(), m.breaks.end()), m.breaks.end());
    } else if (family == "whole") { // one branch within 1e-300 .. 1e-8 of the whole interval
        const double rest = logUniform(-300, -8);
        for (std::size_t i = 0; i + 1 < branches; ++i) {
            m.breaks.push_back(rest * static_cast<double>(i + 1) / static_cast<double>(branches));
        }
    } else {
        for (std::size_t i = 0; i + 1 < branches; ++i) {
            m.breaks.push_back(uniform(engine));
        }
        std::sort(m.breaks.begin(), m.breaks.end());
        m.breaks.erase(std::unique(m.breaks.begin(), m.breaks.end()), m.breaks.end());
    }
    const std::size_t n = m.breaks.size() + 1;
    for (std::size_t i = 0; i < n; ++i) {
        const double left = i == 0 ? 0.0 : m.breaks[i - 1];
        const double right = i + 1 == n ? 1.0 : m.breaks[i];
        if (family == "uniform") { // the lengths, off by a relative 1e-15 .. 1e-6
            m.weights.push_back((right - left) *
                                (1.0 + (uniform(engine) - 0.5) * logUniform(-15, -6)));
        } else if (family == "extreme") { // weights spread over 1e-300 .. 1
            m.weights.push_back(logUniform(-300, 0));
        } else {
            m.weights.push_back(0.01 + uniform(engine));
        }
    }
    return m;
}

// Random measures of a family: every point of the spectrum and every row of D_q keeps the
// bounds (the solver checks them itself and would throw), τ(q) and D_q agree, and for up to 12
// branches the interior points meet the quad-precision reference.
void randomFamily(const test::Row& row) {
    std::mt19937_64 engine(std::stoull(row[1]));
    const std::size_t branches = std::stoul(row[3]);
    const int count = std::stoi(row[4]);
    long work = 0;
    for (int k = 0; k < count; ++k) {
        const Drawn m = draw(row[2], branches, engine);
        std::ostringstream measure;
        measure.precision(17);
        for (const double b : m.breaks) {
            measure << b << ' ';
        }
        measure << "/ ";
        for (const double w : m.weights) {
            measure << w << ' ';
        }
        SCOPED_TRACE(branches <= 12 ? measure.str() : std::to_string(k));
        const MultifractalSolver solver(m.breaks, m.weights);
        const MultifractalSpectrum spectrum = solver.spectrum(33);
        const std::vector<MultifractalPoint>& points = spectrum.points;
        work += spectrum.passes;
        SpectrumBounds(solver.alphaMin(), solver.alphaMax()).check(std::span(points));
        std::vector<double> qs{-50, -3, -1, 0, 0.5, 1 - 1e-12, 1, 1 + 1e-12, 2, 7, 60};
        std::vector<DqPoint> rows(qs.size());
        solver.dqMany(qs, rows, {});
        for (const DqPoint& d : rows) {
            EXPECT_EQ(solver.beta(d.q), d.beta);
        }
        if (branches > 12 || solver.singlePoint()) {
            continue;
        }
        // q = f'(α) changes by about 1 / (αmax - αmin) over the range, and near its crossing
        // of 0 is known to the rounding of that scale, as τ = f - qα is.
        const Long scale = 1 + Long{1e-3} / (solver.alphaMax() - solver.alphaMin());
        const Reference reference(m.breaks, m.weights);
        for (std::size_t i = 1; i + 1 < points.size(); i += 4) {
            SCOPED_TRACE(points[i].alpha);
            const Reference::Point want = reference.atAlpha(points[i].alpha, points[i].q);
            expectClose(points[i].f, want.f, "f");
            expectClose(points[i].beta, want.tau, "tau", scale);
        }
    }
    EXPECT_LE(work, std::stol(row[5])) << "passes over the branches, at most";
}

MultifractalPoint pointOf(const std::string& words) {
    const std::vector<double> v = numbers(words);
    return {v.at(0), v.at(1), v.at(2), v.at(3)};
}

// Points (ALPHA F Q TAU, separated by ;) or rows of D_q (Q TAU D_Q) in order, within the α range;
// the last breaks a bound, which check must report as an internal error naming it.
void brokenBound(const test::Row& row) {
    const std::vector<double> range = numbers(row[1]);
    SpectrumBounds bounds(range.at(0), range.at(1));
    std::vector<std::string> items;
    std::istringstream in(row[3]);
    for (std::string item; std::getline(in, item, ';');) {
        items.push_back(item);
    }
    try {
        for (std::size_t i = 0; i < items.size(); ++i) {
            const std::vector<double> v = numbers(items[i]);
            if (row[2] == "points") {
                const MultifractalPoint p = pointOf(items[i]);
                bounds.check(std::span(&p, 1));
            } else {
                const DqPoint d{v.at(0), v.at(1), v.at(2)};
                bounds.check(std::span(&d, 1));
            }
            EXPECT_LT(i + 1, items.size()) << "the last item passed";
        }
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.kind(), ErrorKind::Internal);
        EXPECT_NE(error.detail().find(row[4]), std::string::npos) << error.detail();
    }
}

TEST(MultifractalSolver, MeetsTheFiguresOfTheTable) {
    for (const test::Row& row : test::readTable("core/multifractal.tsv")) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        if (row[0] == "ends") {
            endsOfTheRange(MultifractalSolver(numbers(row[1]), numbers(row[2])), row);
        } else if (row[0] == "tie") {
            equalWeightsTieToTheExactSolver(numbers(row[1]));
        } else if (row[0] == "refuse") {
            refused(numbers(row[1]), numbers(row[2]), row);
        } else if (row[0] == "extreme") {
            extremes(numbers(row[1]), numbers(row[2]), numbers(row[3]));
        } else if (row[0] == "family") {
            randomFamily(row);
        } else if (row[0] == "broken") {
            brokenBound(row);
        } else if (row[0] == "random") {
            againstTheReference(static_cast<unsigned>(std::stoul(row[1])), std::stoi(row[2]));
        } else {
            ADD_FAILURE() << "unknown kind";
        }
    }
}

} // namespace
} // namespace veltrane
