// Markov measures against 50-digit dense references (tests/data/core/markov-measure.tsv), against
// the multifractal solver where they are Bernoulli measures, the weights' reader's refusals, and
// the bounds of the spectrum on random maps of every family with random weights.
#include "MarkovFamilies.h"
#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <sstream>
#include <veltrane/errors.h>
#include <veltrane/markov_measure.h>
#include <veltrane/multifractal.h>

namespace veltrane {
namespace {

using test::piecesOf;
using test::randomWeights;
using test::weightsOf;

using Real = long double;

// The one tolerance of these tests: got within tolerance of want, relative to |want| or to 1
// where want is smaller.
void expectWithin(double got, Real want, double tolerance, const std::string& what) {
    EXPECT_LE(std::fabs(got - want), tolerance * std::max<Real>(1, std::fabs(want)))
        << what << ": " << got << " against " << static_cast<double>(want);
}

Real real(const std::string& text) {
    return std::strtold(text.c_str(), nullptr);
}

std::vector<test::Row> rowsOf(const std::string& table, const std::string& kind) {
    std::vector<test::Row> rows;
    for (const test::Row& row : test::readTable(table)) {
        if (row.at(0) == kind) {
            rows.push_back(row);
        }
    }
    return rows;
}

TEST(MarkovMeasure, MeetsTheDenseReference) {
    for (const test::Row& row : rowsOf("core/markov-measure.tsv", "range")) {
        SCOPED_TRACE(row.at(1));
        const MarkovMeasureSolver solver(piecesOf(row.at(2)), weightsOf(row.at(3)));
        expectWithin(solver.alphaMin(), real(row.at(4)), 1e-14, "alpha min");
        expectWithin(solver.alphaMax(), real(row.at(5)), 1e-14, "alpha max");
        // The ends of the spectrum, and a spectrum whose every point passed its bounds.
        const MultifractalSpectrum spectrum = solver.spectrum(41);
        EXPECT_EQ(spectrum.points.front().alpha, solver.alphaMin());
        EXPECT_EQ(spectrum.points.back().alpha, solver.alphaMax());
    }
    for (const test::Row& row : rowsOf("core/markov-measure.tsv", "order")) {
        SCOPED_TRACE(row.at(1) + ", q = " + row.at(4));
        const MarkovMeasureSolver solver(piecesOf(row.at(2)), weightsOf(row.at(3)));
        const double q = std::stod(row.at(4));
        const Real tau = real(row.at(5));
        const Real alpha = real(row.at(6));
        const Real f = real(row.at(7));
        expectWithin(solver.tau(q), tau, 1e-14, "tau");
        const MultifractalPoint point = solver.atQ(q);
        expectWithin(point.alpha, alpha, 1e-13, "alpha");
        expectWithin(point.f, f, 1e-13, "f");
        EXPECT_EQ(point.beta, -solver.tau(q));
        const Exponents x = solver.exponents(q);
        expectWithin(x.tau, tau, 1e-14, "tau of the exponents");
        if (q != 1.0) {
            expectWithin(x.dq, tau / (q - 1), 1e-13, "D_q");
        }
        // The point at α is the point at q: f to its precision, q where α changes with it by
        // enough to tell the orders apart.
        const MultifractalPoint back = solver.atAlpha(static_cast<double>(alpha));
        expectWithin(back.f, f, 1e-12, "f at alpha");
        if (std::fabs(q) <= 1.0 && q != 0.0) {
            expectWithin(back.q, q, 1e-7, "q at alpha");
        }
    }
}

TEST(MarkovMeasure, ExactAtTheOrdersZeroAndOne) {
    for (const test::Row& row : rowsOf("core/markov-measure.tsv", "range")) {
        SCOPED_TRACE(row.at(1));
        const MarkovMeasureSolver solver(piecesOf(row.at(2)), weightsOf(row.at(3)));
        EXPECT_EQ(solver.tau(0.0), -1.0);
        EXPECT_EQ(solver.tau(1.0), 0.0);
        EXPECT_EQ(solver.atQ(0.0).f, 1.0);
        EXPECT_EQ(solver.dq(1.0).dq, solver.atQ(1.0).alpha);
        // Near q = 1, D_q keeps its digits: τ / (q - 1) against the mean of α beside it.
        const double d = solver.dq(1.0 + 1e-9).dq;
        expectWithin(d, solver.dq(1.0).dq, 1e-8, "D_q beside q = 1");
    }
}

TEST(MarkovMeasure, BernoulliMeasuresAreTheMultifractalSolversToTheBit) {
    for (const test::Row& row : rowsOf("core/markov-measure-cases.tsv", "bernoulli")) {
        SCOPED_TRACE(row.at(1));
        const std::vector<MarkovPiece> pieces = piecesOf(row.at(2));
        const MarkovWeights weights = weightsOf(row.at(3));
        const MarkovMeasureSolver markov(pieces, weights);
        std::vector<double> breaks;
        for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
            breaks.push_back(pieces[i].right);
        }
        const MultifractalSolver bernoulli(breaks, weights.front());
        ASSERT_TRUE(markov.bernoulli());
        EXPECT_EQ(markov.alphaMin(), bernoulli.alphaMin());
        EXPECT_EQ(markov.alphaMax(), bernoulli.alphaMax());
        const auto a = markov.spectrum(101).points;
        const auto b = bernoulli.spectrum(101).points;
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(std::memcmp(&a[i], &b[i], sizeof a[i]), 0) << "point " << i;
        }
        for (const double q : {-3.0, 0.0, 0.5, 1.0, 4.0}) {
            EXPECT_EQ(markov.tau(q), -bernoulli.beta(q));
            const Exponents x = markov.exponents(q);
            const Exponents y = bernoulli.exponents(q);
            EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0) << "q = " << q;
        }
    }
}

TEST(MarkovMeasure, BernoulliMeasuresOnPiecesOfLevelTwo) {
    for (const test::Row& row : rowsOf("core/markov-measure-cases.tsv", "level-two")) {
        SCOPED_TRACE(row.at(1));
        const double c = std::stod(row.at(2));
        const std::vector<double> p = test::numbers(row.at(3));
        // Piece ab: the points of branch a that branch a maps into branch b.
        const double split0 = c * c;
        const double split1 = c + (1 - c) * c;
        const std::vector<MarkovPiece> pieces{
            {0, split0, 0, c}, {split0, c, c, 1}, {c, split1, 0, c}, {split1, 1, c, 1}};
        const MarkovWeights weights(4, p);
        const MarkovMeasureSolver markov(pieces, weights);
        const MultifractalSolver bernoulli(std::vector<double>{c}, p);
        ASSERT_FALSE(markov.bernoulli());
        // The lengths of level two are the doubles of c c and c + (1 - c) c, a few units of
        // rounding from the products of the branches' lengths.
        expectWithin(markov.alphaMin(), bernoulli.alphaMin(), 1e-13, "alpha min");
        expectWithin(markov.alphaMax(), bernoulli.alphaMax(), 1e-13, "alpha max");
        for (const double q : {-10.0, -2.0, -0.3, 0.0, 0.7, 1.0, 2.0, 10.0}) {
            expectWithin(markov.tau(q), -bernoulli.beta(q), 1e-13, "tau");
            const MultifractalPoint x = markov.atQ(q);
            const MultifractalPoint y = bernoulli.atQ(q);
            expectWithin(x.alpha, y.alpha, 1e-13, "alpha");
            expectWithin(x.f, y.f, 1e-13, "f");
        }
        // Where the range of α is narrow, q reaches some thousands, and the rounding of the
        // lengths (and of the roots, to about 1e-15 of their sizes) moves f by that many units.
        const auto a = markov.spectrum(21).points;
        const auto b = bernoulli.spectrum(21).points;
        for (std::size_t i = 1; i + 1 < a.size(); ++i) {
            expectWithin(a[i].f, b[i].f, 1e-10, "f of point " + std::to_string(i));
        }
        expectWithin(a.front().f, b.front().f, 1e-12, "f at alpha min");
        expectWithin(a.back().f, b.back().f, 1e-12, "f at alpha max");
    }
}

TEST(MarkovMeasure, RefusesWeightsNamingTheirLineAndColumn) {
    for (const test::Row& row : rowsOf("core/markov-measure-cases.tsv", "refused")) {
        SCOPED_TRACE(row.at(1));
        const std::vector<MarkovPiece> pieces = piecesOf(row.at(2));
        std::istringstream in(row.at(3));
        try {
            readMarkovWeights(in, pieces);
            ADD_FAILURE() << "taken";
        } catch (const InputError& e) {
            EXPECT_NE(std::string(e.what()).find(row.at(4)), std::string::npos) << e.what();
        }
    }
    // The solver refuses what the reader would, without lines.
    const std::vector<MarkovPiece> golden = piecesOf("0 0.6 0 1; 0.6 1 0 0.6");
    for (const char* weights : {"1 2; 1 1", "1; 1", "1 -2; 1", "1 2", "1 2; 1; 1"}) {
        EXPECT_THROW(MarkovMeasureSolver(golden, weightsOf(weights)), WeightError) << weights;
    }
}

// Weights read from a stream in chunks: a text whose last bytes fall in a chunk of their own
// (65,536 bytes, then 1 or 2) reads as the same text without the comments that pad it.
TEST(MarkovMeasure, ReadsWeightsAcrossTheReadersChunks) {
    const std::vector<MarkovPiece> golden = piecesOf("0 0.6 0 1; 0.6 1 0 0.6");
    for (const std::string tail : {"\n3", "\n2 ", "\n4\n"}) {
        std::string text = "1 2\n";
        while (text.size() + 4000 < 65536) {
            text += "#" + std::string(3998, 'x') + "\n";
        }
        text += "#" + std::string(65536 - text.size() - 2, 'x') + "\n";
        ASSERT_EQ(text.size(), 65536U);
        std::istringstream padded(text + tail.substr(1));
        std::istringstream plain("1 2" + tail);
        const MarkovWeights a = readMarkovWeights(padded, golden);
        const MarkovWeights b = readMarkovWeights(plain, golden);
        EXPECT_EQ(a, b) << tail.size() - 1 << " bytes past the chunk";
    }
}

TEST(MarkovMeasure, OneCycleRatioIsTheSinglePoint) {
    for (const test::Row& row : rowsOf("core/markov-measure-cases.tsv", "single")) {
        SCOPED_TRACE(row.at(1));
        const MarkovMeasureSolver solver(piecesOf(row.at(2)), weightsOf(row.at(3)));
        EXPECT_TRUE(solver.singlePoint());
        EXPECT_EQ(solver.spectrum(11).points.size(), 1U);
        EXPECT_EQ(solver.tau(3.0), 2.0);
    }
}

// The smallest and largest ratio Σ -ln P / Σ ln|s| over the simple cycles, listed one by one.
std::pair<Real, Real> cycleRatios(const std::vector<MarkovPiece>& pieces,
                                  const MarkovWeights& weights) {
    const std::size_t n = pieces.size();
    std::vector<std::vector<std::pair<std::size_t, Real>>> moves(n);
    std::vector<Real> logS(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Real lo = std::min(pieces[i].imageLeft, pieces[i].imageRight);
        const Real hi = std::max(pieces[i].imageLeft, pieces[i].imageRight);
        logS[i] = std::log((hi - lo) / (Real{pieces[i].right} - pieces[i].left));
        Real total = 0;
        for (const double w : weights[i]) {
            total += w;
        }
        std::size_t k = 0;
        for (std::size_t j = 0; j < n; ++j) {
            if (pieces[j].left >= lo && pieces[j].right <= hi) {
                moves[i].emplace_back(j, -std::log(weights[i].at(k++) / total));
            }
        }
    }
    Real low = INFINITY;
    Real high = -INFINITY;
    std::vector<bool> on(n, false);
    std::function<void(std::size_t, std::size_t, Real, Real)> walk =
        [&](std::size_t start, std::size_t i, Real cost, Real time) {
            on[i] = true;
            for (const auto& [j, c] : moves[i]) {
                if (j == start) {
                    low = std::min(low, (cost + c) / (time + logS[i]));
                    high = std::max(high, (cost + c) / (time + logS[i]));
                } else if (j > start && !on[j]) {
                    walk(start, j, cost + c, time + logS[i]);
                }
            }
            on[i] = false;
        };
    for (std::size_t s = 0; s < n; ++s) {
        walk(s, s, 0, 0);
    }
    return {low, high};
}

// Small maps of every family with weights drawn over six orders of magnitude: the range of α
// is that of the cycles listed one by one, the spectrum and the exponents pass their bounds, and
// τ(0) = -1, τ(1) = 0 exactly.
// The halves (two parts coupled at 1e-9, whose f is flat at 1 between them with q within 1e-12 of
// 0) and uneven lengths (slopes near 1 beside slopes of 1e12, where τ moves by the rounding of
// ln ρ over a Lyapunov exponent near 0) are beyond this solver's power steps: they stop with an
// internal error rather than a point past its bounds, and are left out.
TEST(MarkovMeasure, RandomMeasuresOfEveryFamilyKeepTheirBounds) {
    std::mt19937_64 engine(20261207);
    for (const test::MarkovFamily family : test::allMarkovFamilies()) {
        if (family == test::MarkovFamily::Halves || family == test::MarkovFamily::Uneven) {
            continue;
        }
        for (const std::uint64_t seed : {1, 2, 3}) {
            SCOPED_TRACE(test::familyName(family) + ", seed " + std::to_string(seed));
            const std::vector<MarkovPiece> pieces = test::markovFamilyMap(family, 6, seed, 3);
            const MarkovWeights weights = randomWeights(pieces, 6.0, engine);
            const MarkovMeasureSolver solver(pieces, weights);
            const auto [low, high] = cycleRatios(pieces, weights);
            expectWithin(solver.alphaMin(), low, 1e-13, "alpha min");
            expectWithin(solver.alphaMax(), high, 1e-13, "alpha max");
            EXPECT_EQ(solver.tau(0.0), -1.0);
            EXPECT_EQ(solver.tau(1.0), 0.0);
            EXPECT_NO_THROW(solver.spectrum(101));
            std::vector<double> qs;
            for (int k = -20; k <= 20; ++k) {
                qs.push_back(0.5 * k);
            }
            std::vector<Exponents> rows(qs.size());
            EXPECT_NO_THROW(solver.exponentsMany(qs, rows, {}));
        }
    }
}

// τ, α and f of a chain (piece k onto piece k + 1, the last onto the first two) from its return
// equation: every cycle passes through the last piece, whose two first returns, by piece 0 and by
// piece 1, weigh w_1 = p_0^q Π_i |s_i|^τ and w_2 = p_1^q Π_(i ≥ 1) |s_i|^τ, so that
// ρ(M(q, τ)) = 1 exactly where w_1 + w_2 = 1; α = τ'(q) by the implicit function theorem.
struct ChainPoint {
    Real tau = 0;
    Real alpha = 0;
    Real f = 0;
};

ChainPoint chainPoint(const std::vector<MarkovPiece>& pieces, const MarkovWeights& weights,
                      double q) {
    Real all = 0; // Σ ln|s_i|
    Real first = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const MarkovPiece& p = pieces[i];
        const Real slope = std::fabs(Real{p.imageRight} - p.imageLeft) / (Real{p.right} - p.left);
        all += std::log(slope);
        first = i == 0 ? std::log(slope) : first;
    }
    const std::vector<double>& last = weights.back();
    const Real logP0 = std::log(last.at(0) / (Real{last.at(0)} + last.at(1)));
    const Real logP1 = std::log(last.at(1) / (Real{last.at(0)} + last.at(1)));
    const Real time1 = all;
    const Real time2 = all - first;
    // w_1 + w_2 rises with τ from 0 to infinity: bisection, then Newton's steps.
    const auto sum = [&](Real tau) {
        return std::exp(q * logP0 + tau * time1) + std::exp(q * logP1 + tau * time2);
    };
    Real lo = -1000;
    Real hi = 1000;
    for (int k = 0; k < 200 && hi - lo > 1e-12L; ++k) {
        const Real mid = (lo + hi) / 2;
        (sum(mid) < 1 ? lo : hi) = mid;
    }
    Real tau = (lo + hi) / 2;
    for (int k = 0; k < 4; ++k) {
        const Real w1 = std::exp(q * logP0 + tau * time1);
        const Real w2 = std::exp(q * logP1 + tau * time2);
        tau -= (w1 + w2 - 1) / (w1 * time1 + w2 * time2);
    }
    const Real w1 = std::exp(q * logP0 + tau * time1);
    const Real w2 = std::exp(q * logP1 + tau * time2);
    const Real alpha = -(w1 * logP0 + w2 * logP1) / (w1 * time1 + w2 * time2);
    return {tau, alpha, q * alpha - tau};
}

// Maps of more than 400 pieces, which the transfer solver takes by its sparse and large ways,
// with seeded random weights (tests/data/core/markov-measure-cases.tsv, "large"): τ(0) = -1 and
// τ(1) = 0 exactly, τ concave in q, every point and row within its bounds, chains against their
// return equation, and where a number of points is given the whole spectrum checked.
TEST(MarkovMeasure, LargeMapsKeepTheirBounds) {
    for (const test::Row& row : rowsOf("core/markov-measure-cases.tsv", "large")) {
        SCOPED_TRACE(row.at(1) + ", " + row.at(2) + " pieces, seed " + row.at(3));
        const test::MarkovFamily family = test::familyNamed(row.at(1));
        const std::uint64_t seed = std::stoull(row.at(3));
        const std::vector<MarkovPiece> pieces =
            test::markovFamilyMap(family, std::stoul(row.at(2)), seed, std::stoul(row.at(7)));
        std::mt19937_64 engine(seed);
        const MarkovWeights weights = randomWeights(pieces, std::stod(row.at(4)), engine);
        const MarkovMeasureSolver solver(pieces, weights);
        EXPECT_EQ(solver.tau(0.0), -1.0);
        EXPECT_EQ(solver.tau(1.0), 0.0);
        std::vector<double> qs = test::numbers(row.at(5));
        std::sort(qs.begin(), qs.end());
        std::vector<Exponents> rows(qs.size());
        ASSERT_NO_THROW(solver.exponentsMany(qs, rows, {}));
        for (std::size_t k = 0; k < qs.size(); ++k) {
            SCOPED_TRACE("q = " + std::to_string(qs[k]));
            const MultifractalPoint point = solver.atQ(qs[k]);
            EXPECT_GE(point.alpha, solver.alphaMin());
            EXPECT_LE(point.alpha, solver.alphaMax());
            EXPECT_GE(point.f, 0.0);
            EXPECT_LE(point.f, 1.0);
            if (k >= 1 && k + 1 < qs.size()) {
                // Concave: τ at q_k at least the chord of its neighbours, to rounding.
                const double t = (qs[k] - qs[k - 1]) / (qs[k + 1] - qs[k - 1]);
                const double chord = (1 - t) * rows[k - 1].tau + t * rows[k + 1].tau;
                expectWithin(std::min(rows[k].tau, chord), chord, 1e-12, "concavity of tau");
            }
            if (family == test::MarkovFamily::Chain) {
                const ChainPoint want = chainPoint(pieces, weights, qs[k]);
                expectWithin(rows[k].tau, want.tau, 1e-13, "tau");
                expectWithin(point.alpha, want.alpha, 1e-13, "alpha");
                expectWithin(point.f, want.f, 1e-13, "f");
            }
        }
        const std::size_t points = std::stoul(row.at(6));
        if (points > 0) {
            EXPECT_NO_THROW(solver.spectrum(points));
        }
    }
}

// A map of two classes of pieces, each onto the whole of the other: [0, 1/2] in a pieces and
// [1/2, 1] in b, of random lengths, increasing or not. Its graph has period 2.
std::vector<MarkovPiece> twoClassMap(std::size_t a, std::size_t b, std::mt19937_64& engine) {
    std::uniform_real_distribution<double> uniform(1.0, 2.0);
    std::vector<MarkovPiece> pieces;
    for (const auto& [count, from] : {std::pair{a, 0.0}, std::pair{b, 0.5}}) {
        std::vector<double> ends{0.0};
        for (std::size_t i = 0; i < count; ++i) {
            ends.push_back(ends.back() + uniform(engine));
        }
        const double image = 0.5 - from; // onto the other class
        for (std::size_t i = 0; i < count; ++i) {
            const double left = i == 0 ? from : pieces.back().right;
            const double right =
                i + 1 == count ? from + 0.5 : from + 0.5 * ends[i + 1] / ends.back();
            const bool up = uniform(engine) < 1.5;
            pieces.push_back({left, right, up ? image : image + 0.5, up ? image + 0.5 : image});
        }
    }
    return pieces;
}

// ln ρ(M(q, τ)) of a map whose every move goes from one class to the other, in long double, as
// half of ln ρ(M^2), which is positive on each class: power steps of M^2 until its
// Collatz–Wielandt bounds meet to 1e-17.
Real logRootOfTwoClasses(const std::vector<std::vector<std::size_t>>& to,
                         const std::vector<std::vector<Real>>& logP, const std::vector<Real>& logS,
                         Real q, Real tau) {
    const std::size_t n = to.size();
    std::vector<std::vector<Real>> m(n);
    for (std::size_t i = 0; i < n; ++i) {
        for (const Real p : logP[i]) {
            m[i].push_back(std::exp(q * p + tau * logS[i]));
        }
    }
    std::vector<Real> v(n, 1);
    const auto times = [&](const std::vector<Real>& x) {
        std::vector<Real> y(n, 0);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t k = 0; k < to[i].size(); ++k) {
                y[i] += m[i][k] * x[to[i][k]];
            }
        }
        return y;
    };
    for (int step = 0; step < 200; ++step) {
        std::vector<Real> w = times(times(v));
        Real lower = INFINITY;
        Real upper = 0;
        for (std::size_t i = 0; i < n; ++i) {
            lower = std::min(lower, w[i] / v[i]);
            upper = std::max(upper, w[i] / v[i]);
        }
        const Real top = *std::max_element(w.begin(), w.end());
        for (std::size_t i = 0; i < n; ++i) {
            v[i] = w[i] / top;
        }
        if (upper - lower <= 1e-17L * upper) {
            return std::log((lower + upper) / 2) / 2;
        }
    }
    ADD_FAILURE() << "the reference's power steps did not settle";
    return 0;
}

// A large periodic graph with classes of unequal sizes: the transfer matrix has the eigenvalue
// -ρ and the equilibrium chain the eigenvalue -1, and a uniform start has a part along their
// vectors, so that the solver's unshifted steps turn to shifted and lazy ones. τ(q) against the
// reference, and a spectrum within its bounds.
TEST(MarkovMeasure, LargePeriodicGraphsOfUnequalClassesSettle) {
    std::mt19937_64 engine(4410);
    const std::vector<MarkovPiece> pieces = twoClassMap(240, 170, engine);
    const MarkovWeights weights = randomWeights(pieces, 2.0, engine);
    const MarkovMeasureSolver solver(pieces, weights);
    // The moves: class a onto every piece of class b and back, left to right.
    const std::size_t a = 240;
    const std::size_t n = pieces.size();
    std::vector<std::vector<std::size_t>> to(n);
    std::vector<std::vector<Real>> logP(n);
    std::vector<Real> logS(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Real total = std::accumulate(weights[i].begin(), weights[i].end(), Real{0});
        ASSERT_EQ(weights[i].size(), i < a ? n - a : a);
        for (std::size_t k = 0; k < weights[i].size(); ++k) {
            to[i].push_back(i < a ? a + k : k);
            logP[i].push_back(std::log(weights[i][k] / total));
        }
        logS[i] = std::log(Real{0.5} / (Real{pieces[i].right} - pieces[i].left));
    }
    for (const double q : {-2.0, 0.5, 3.0}) {
        SCOPED_TRACE("q = " + std::to_string(q));
        // ln ρ rises with τ: the root lies within 1e-10 of the solver's τ, then regula falsi
        // (Illinois) closes in on it.
        const double got = solver.tau(q);
        Real lo = got - 1e-10;
        Real hi = got + 1e-10;
        Real fLo = logRootOfTwoClasses(to, logP, logS, q, lo);
        Real fHi = logRootOfTwoClasses(to, logP, logS, q, hi);
        ASSERT_TRUE(fLo < 0 && fHi > 0) << "tau " << got << " is off by more than 1e-10";
        Real tau = 0;
        for (int step = 0; step < 100 && hi - lo > 1e-17L; ++step) {
            tau = (lo * fHi - hi * fLo) / (fHi - fLo);
            const Real f = logRootOfTwoClasses(to, logP, logS, q, tau);
            if (f == 0) {
                break;
            }
            if (f < 0) {
                lo = tau;
                fLo = f;
                fHi /= 2;
            } else {
                hi = tau;
                fHi = f;
                fLo /= 2;
            }
        }
        expectWithin(got, tau, 1e-13, "tau");
    }
    const MultifractalSpectrum spectrum = solver.spectrum(11);
    for (const MultifractalPoint& point : spectrum.points) {
        EXPECT_GE(point.alpha, solver.alphaMin());
        EXPECT_LE(point.alpha, solver.alphaMax());
        EXPECT_GE(point.f, 0.0);
        EXPECT_LE(point.f, 1.0);
    }
}

// A map of 22 full branches, increasing or not, of lengths in 64ths, in two halves nearly
// uncoupled (weights of 1e-12 across) and nearly alike (the second's pieces those of the first,
// its weights theirs within 1e-3), drawn from seed: the transfer matrix has a second eigenvalue
// within some 1e-3 of the first at every order. And the same measure on the map's pieces of
// level two ([i j] onto the pieces [j k] of piece j, weighted as j onto k): 484 pieces, every end
// a dyadic number that the doubles hold exactly.
struct Uncoupled {
    std::vector<MarkovPiece> small;
    MarkovWeights smallWeights;
    std::vector<MarkovPiece> large;
    MarkovWeights largeWeights;
};

Uncoupled nearlyUncoupled(std::uint64_t seed) {
    constexpr std::size_t kHalf = 11;
    constexpr std::size_t kBranches = 2 * kHalf;
    std::mt19937_64 engine(seed);
    std::uniform_real_distribution<double> uniform(0.5, 1.5);
    Uncoupled m;
    m.smallWeights.resize(kBranches);
    for (std::size_t i = 0; i < kBranches; ++i) {
        const double left = i == 0 ? 0.0 : m.small.back().right;
        const double length = (i % kHalf == 0 ? 2.0 : 3.0) / 64.0;
        const bool up = i < kHalf ? uniform(engine) < 1.0 : m.small[i - kHalf].imageRight == 1.0;
        m.small.push_back({left, left + length, up ? 0.0 : 1.0, up ? 1.0 : 0.0});
    }
    for (std::size_t i = 0; i < kBranches; ++i) {
        for (std::size_t j = 0; j < kBranches; ++j) {
            const bool across = (i < kHalf) != (j < kHalf);
            m.smallWeights[i].push_back(across      ? 1e-12 * uniform(engine)
                                        : i < kHalf ? uniform(engine)
                                                    : m.smallWeights[i - kHalf][j - kHalf] *
                                                          (1.0 + 1e-3 * uniform(engine)));
        }
    }
    for (const MarkovPiece& b : m.small) {
        const double length = b.right - b.left;
        const bool up = b.imageLeft < b.imageRight;
        for (std::size_t k = 0; k < kBranches; ++k) {
            // Piece [i j], in the order of position; it covers [j k] for every k, in k's order
            // or its reverse where branch j decreases.
            const std::size_t j = up ? k : kBranches - 1 - k;
            const MarkovPiece& image = m.small[j];
            m.large.push_back(
                up ? MarkovPiece{b.left + length * image.left, b.left + length * image.right,
                                 image.left, image.right}
                   : MarkovPiece{b.right - length * image.right, b.right - length * image.left,
                                 image.right, image.left});
            std::vector<double> row = m.smallWeights[j];
            if (image.imageLeft > image.imageRight) {
                std::reverse(row.begin(), row.end());
            }
            m.largeWeights.push_back(row);
        }
    }
    return m;
}

// The chain of the large map mixes over some 10^9 steps, so that its Perron vectors and its law
// are found only by eliminations; at q = 1 the small map's vector is known exactly, which power
// steps from a neighbouring order's would not find.
TEST(MarkovMeasure, NearlyUncoupledMapsMeetTheDenseReference) {
    for (const test::Row& row : rowsOf("core/markov-measure-cases.tsv", "uncoupled")) {
        SCOPED_TRACE(row.at(1));
        const Uncoupled m = nearlyUncoupled(std::stoull(row.at(2)));

        const double q = std::stod(row.at(3));
        for (const auto& [pieces, weights] :
             {std::pair{&m.small, &m.smallWeights}, std::pair{&m.large, &m.largeWeights}}) {
            SCOPED_TRACE(std::to_string(pieces->size()) + " pieces");
            const MarkovMeasureSolver solver(*pieces, *weights);
            const MultifractalPoint point = solver.atQ(q);
            expectWithin(-point.beta, real(row.at(4)), 1e-13, "tau");
            expectWithin(point.alpha, real(row.at(5)), 1e-13, "alpha");
            expectWithin(point.f, real(row.at(6)), 1e-13, "f");
        }
    }
}

} // namespace
} // namespace veltrane
