// The bins of Markov measures against cylinders summed to depth in quad precision by code of its
// own (tests/data/core/markov-bins.tsv), against the Bernoulli cascade where the measure is one,
// summed in blocks against fewer bins, adding up to 1, the same bits in any range and on any
// threads, the refusals, and random measures on maps of every family; and the cells of a level
// against the cylinders listed in quad precision, their counts, their children, their tiling of
// [0, 1] and the Bernoulli cascade's cells.
#include "MarkovFamilies.h"
#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <quadmath.h>
#include <random>
#include <sstream>
#include <veltrane/cascade.h>
#include <veltrane/errors.h>
#include <veltrane/markov_measure.h>

namespace veltrane {
namespace {

using test::piecesOf;
using test::weightsOf;

using Real = long double;
__extension__ typedef __float128 Quad;

// The one tolerance of these tests: got within tolerance of want, relative to |want|, or within
// 1e-290 of it: masses near the end of the doubles' normal range lose their digits.
void expectWithin(double got, Real want, double tolerance, const std::string& what) {
    EXPECT_LE(std::fabs(got - want), tolerance * std::fabs(want) + 1e-290L)
        << what << ": " << got << " against " << static_cast<double>(want);
}

// The pieces piece i's image covers, in order.
std::vector<std::size_t> covered(const std::vector<MarkovPiece>& pieces, std::size_t i) {
    const double lo = std::min(pieces[i].imageLeft, pieces[i].imageRight);
    const double hi = std::max(pieces[i].imageLeft, pieces[i].imageRight);
    std::vector<std::size_t> out;
    for (std::size_t j = 0; j < pieces.size(); ++j) {
        if (pieces[j].left >= lo && pieces[j].right <= hi) {
            out.push_back(j);
        }
    }
    return out;
}

// The measure as the reference sees it, in quad precision: P dense, and π.
struct Reference {
    std::vector<MarkovPiece> pieces;
    std::vector<std::vector<Quad>> p;
    std::vector<Quad> pi;
};

Reference referenceOf(const std::vector<MarkovPiece>& pieces, const MarkovWeights& weights) {
    const std::size_t n = pieces.size();
    Reference r{pieces, std::vector<std::vector<Quad>>(n, std::vector<Quad>(n, 0)),
                std::vector<Quad>(n, Quad(1) / n)};
    for (std::size_t i = 0; i < n; ++i) {
        const std::vector<std::size_t> js = covered(pieces, i);
        Quad total = 0;
        for (const double w : weights[i]) {
            total += w;
        }
        for (std::size_t k = 0; k < js.size(); ++k) {
            r.p[i][js[k]] = weights[i][k] / total;
        }
    }
    // π (I - P) = 0 with one equation replaced by Σ π = 1, by Gaussian elimination with partial
    // pivoting: 34 digits keep 16 however nearly the chain falls apart.
    std::vector<std::vector<Quad>> a(n, std::vector<Quad>(n, 0));
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < n; ++i) {
            a[j][i] = (i == j ? 1 : 0) - r.p[i][j];
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        a[n - 1][i] = 1;
    }
    std::vector<Quad> b(n, 0);
    b[n - 1] = 1;
    r.pi = test::solveDense(std::move(a), std::move(b));
    return r;
}

// The masses of n bins, in quad precision: each cylinder, found as the preimages of the pieces
// under the branch, is added to the bin holding it, and one holding a bin end is divided until
// its mass is below 1e-20 of the smallest bin it touches (as estimate gives them; 1e-32 of their
// mean without one; 1e-320 where that bin is below 1e-200, as where a branch almost the whole
// interval keeps the mass away for hundreds of thousands of levels), or its length below 1e-30
// of a bin, then shared by length.
std::vector<Quad> referenceBins(const Reference& r, std::size_t n,
                                const std::vector<Quad>& estimate = {}) {
    std::vector<Quad> bins(n, 0);
    const auto cutAt = [&](std::size_t first, std::size_t last) {
        if (estimate.empty()) {
            return Quad(1e-32) / n;
        }
        const Quad least = *std::min_element(estimate.begin() + static_cast<long>(first),
                                             estimate.begin() + static_cast<long>(last) + 1);
        return least < Quad(1e-200) ? Quad(1e-300) * Quad(1e-20) : Quad(1e-20) * least;
    };
    // [a, b] in bins, T^m on it increasing (up) onto piece i.
    std::function<void(Quad, Quad, Quad, std::size_t, bool)> visit = [&](Quad a, Quad b, Quad mass,
                                                                         std::size_t i, bool up) {
        const auto first = static_cast<std::size_t>(floorq(a));
        if (b <= first + 1 || first + 1 >= n) {
            bins[std::min(first, n - 1)] += mass;
            return;
        }
        const auto last = std::min(n - 1, static_cast<std::size_t>(ceilq(b)) - 1);
        if (mass < cutAt(first, last) || b - a < Quad(1e-30)) {
            for (std::size_t k = first; k <= last; ++k) {
                const Quad lo = std::max<Quad>(a, k);
                const Quad hi = std::min<Quad>(b, k + 1);
                bins[k] += mass * (hi - lo) / (b - a);
            }
            return;
        }
        const MarkovPiece& q = r.pieces[i];
        const Quad slope = (Quad(q.imageRight) - q.imageLeft) / (Quad(q.right) - q.left);
        const auto place = [&](Quad y) { // y in the image to a place in [a, b]
            const Quad part = (y - q.imageLeft) / slope / (Quad(q.right) - q.left);
            return up ? a + part * (b - a) : b - part * (b - a);
        };
        for (const std::size_t j : covered(r.pieces, i)) {
            const Quad x0 = place(r.pieces[j].left);
            const Quad x1 = place(r.pieces[j].right);
            visit(std::min(x0, x1), std::max(x0, x1), mass * r.p[i][j], j, x1 > x0);
        }
    };
    for (std::size_t i = 0; i < r.pieces.size(); ++i) {
        visit(Quad(r.pieces[i].left) * n, Quad(r.pieces[i].right) * n, r.pi[i], i, true);
    }
    return bins;
}

std::vector<double> binsOf(const MarkovCascade& measure, std::uint64_t n, unsigned threads = 1) {
    std::vector<double> out(n);
    measure.binMasses(n, 0, out, RunControl{threads, nullptr, nullptr});
    return out;
}

// The cases of the table: name, pieces, weights, and the numbers of bins to check.
struct Case {
    std::string name;
    std::vector<MarkovPiece> pieces;
    MarkovWeights weights;
    std::vector<double> bins;
};

std::vector<Case> cases(const std::string& kind) {
    std::vector<Case> out;
    for (const test::Row& row : test::readTable("core/markov-bins.tsv")) {
        if (row.at(0) == kind) {
            out.push_back(
                {row.at(1), piecesOf(row.at(2)), weightsOf(row.at(3)), test::numbers(row.at(4))});
        }
    }
    return out;
}

void expectReference(const std::vector<MarkovPiece>& pieces, const MarkovWeights& weights,
                     std::size_t n, double tolerance) {
    const MarkovCascade measure(pieces, weights);
    const Reference r = referenceOf(pieces, weights);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        expectWithin(measure.stationary()[i], static_cast<Real>(r.pi[i]), 1e-14,
                     "pi_" + std::to_string(i));
    }
    const std::vector<double> got = binsOf(measure, n);
    // Each pass divides the cylinders down to 1e-20 of the bins the last one found, until the bins
    // stand still: a bin that a branch almost the whole interval keeps nearly empty takes some.
    std::vector<Quad> want = referenceBins(r, n);
    for (int pass = 0; pass < 20; ++pass) {
        const std::vector<Quad> next = referenceBins(r, n, want);
        const bool still = std::equal(want.begin(), want.end(), next.begin(), [](Quad a, Quad b) {
            return fabsq(a - b) <= Quad(1e-20) * fabsq(b);
        });
        want = next;
        if (still) {
            break;
        }
    }
    for (std::size_t j = 0; j < n; ++j) {
        expectWithin(got[j], static_cast<Real>(want[j]), tolerance, "bin " + std::to_string(j));
    }
}

TEST(MarkovBins, MeetTheCylindersSummedToDepth) {
    for (const Case& c : cases("reference")) {
        for (const double n : c.bins) {
            SCOPED_TRACE(c.name + ", " + std::to_string(n) + " bins");
            expectReference(c.pieces, c.weights, static_cast<std::size_t>(n), 1e-13);
        }
    }
}

// Bins of N / k summed k at a time are the bins of N / k, each a sum of positive terms.
TEST(MarkovBins, SummedInBlocksAreFewerBins) {
    for (const Case& c : cases("reference")) {
        const MarkovCascade measure(c.pieces, c.weights);
        for (const double n : c.bins) {
            for (const std::uint64_t k : {2, 3, 8}) {
                const auto fine = static_cast<std::uint64_t>(n) * k;
                SCOPED_TRACE(c.name + ", " + std::to_string(fine) + " bins by " +
                             std::to_string(k));
                const std::vector<double> small = binsOf(measure, fine, 2);
                const std::vector<double> large = binsOf(measure, fine / k, 2);
                for (std::size_t j = 0; j < large.size(); ++j) {
                    Real sum = 0;
                    for (std::size_t i = 0; i < k; ++i) {
                        sum += small[j * k + i];
                    }
                    expectWithin(large[j], sum, 1e-13, "bin " + std::to_string(j));
                }
            }
        }
    }
}

// Σ bins = 1 within some units of rounding for each bin (the π_i sum to 1 within rounding).
void expectUnitTotal(const std::vector<double>& bins) {
    Real total = 0;
    for (const double m : bins) {
        EXPECT_GE(m, 0.0);
        total += m;
    }
    EXPECT_LE(std::fabs(total - 1), 4.0 * static_cast<double>(bins.size()) * 0x1p-53)
        << "total " << static_cast<double>(total) << " of " << bins.size() << " bins";
}

TEST(MarkovBins, AddUpToOne) {
    for (const Case& c : cases("reference")) {
        SCOPED_TRACE(c.name);
        const MarkovCascade measure(c.pieces, c.weights);
        for (const std::uint64_t n : {1, 7, 1000, 65536}) {
            expectUnitTotal(binsOf(measure, n, 2));
        }
    }
}

// Every piece onto [0, 1] with equal rows: the Bernoulli measure of the row, as Cascade gives it;
// within 1e-14, or 1e-9 where a slope barely above 1 keeps the mass in one branch for millions
// of levels (the walk multiplies a cylinder's mass by P a level at a time, about 2^-53 a level).
void expectCascades(const std::string& kind, double tolerance) {
    for (const Case& c : cases(kind)) {
        const MarkovCascade measure(c.pieces, c.weights);
        std::vector<double> breaks;
        for (std::size_t i = 1; i < c.pieces.size(); ++i) {
            breaks.push_back(c.pieces[i].left);
        }
        const Cascade cascade(breaks, c.weights.front());
        for (const double n : c.bins) {
            SCOPED_TRACE(c.name + ", " + std::to_string(n) + " bins");
            const auto count = static_cast<std::uint64_t>(n);
            const std::vector<double> got = binsOf(measure, count, 2);
            std::vector<double> want(count);
            cascade.binMasses(count, 0, want);
            for (std::size_t j = 0; j < count; ++j) {
                expectWithin(got[j], want[j], tolerance, "bin " + std::to_string(j));
            }
        }
    }
}

TEST(MarkovBins, OfABernoulliMeasureAreTheCascades) {
    expectCascades("bernoulli", 1e-14);
    expectCascades("long-runs", 1e-9);
}

// Bins whose figures were found apart, where a decreasing slope barely above 1 keeps the mass
// near its fixed point for millions of levels; within 1e-9, as the long runs above.
TEST(MarkovBins, MeetTheirFiguresNearAFixedPointOfADecreasingPiece) {
    for (const test::Row& row : test::readTable("core/markov-bins.tsv")) {
        if (row.at(0) != "figures") {
            continue;
        }
        const MarkovCascade measure(piecesOf(row.at(2)), weightsOf(row.at(3)));
        const auto n = static_cast<std::uint64_t>(test::numbers(row.at(4)).front());
        const std::vector<double> want = test::numbers(row.at(5));
        ASSERT_EQ(want.size(), n) << row.at(1);
        const std::vector<double> got = binsOf(measure, n, 2);
        for (std::size_t j = 0; j < n; ++j) {
            expectWithin(got[j], want[j], 1e-9, row.at(1) + ", bin " + std::to_string(j));
        }
    }
}

// Where a cycle of pieces with slopes barely above 1 keeps the mass near its periodic points the
// ends beside them are split for some 10^7 levels: the bins of 2N still add up to those of N,
// within 1e-9 (each level rounds the mass left by about 2^-53 of it).
TEST(MarkovBins, BesideASlowPeriodicPointAreFewerBinsSummed) {
    for (const test::Row& row : test::readTable("core/markov-bins.tsv")) {
        if (row.at(0) != "blocks") {
            continue;
        }
        const MarkovCascade measure(piecesOf(row.at(2)), weightsOf(row.at(3)));
        for (const double bins : test::numbers(row.at(4))) {
            const auto n = static_cast<std::uint64_t>(bins);
            const std::vector<double> large = binsOf(measure, n, 2);
            const std::vector<double> small = binsOf(measure, 2 * n, 2);
            for (std::size_t j = 0; j < n; ++j) {
                expectWithin(large[j], Real{small[2 * j]} + small[2 * j + 1], 1e-9,
                             row.at(1) + ", " + std::to_string(n) + " bins, bin " +
                                 std::to_string(j));
            }
        }
    }
}

// A bin depends on N and j alone: asked in ranges that start and stop anywhere, on one thread or
// two, near the limit too, it has the same bits.
TEST(MarkovBins, AreTheSameInAnyRangeOnAnyThreads) {
    for (const Case& c : cases("reference")) {
        SCOPED_TRACE(c.name);
        const MarkovCascade measure(c.pieces, c.weights);
        for (const std::uint64_t n : {std::uint64_t{50000}, Cascade::kMaxBins}) {
            const std::uint64_t from = n == 50000 ? 0 : n / 3;
            std::vector<double> whole(20000);
            measure.binMasses(n, from, whole, RunControl{1, nullptr, nullptr});
            for (const auto& [start, count] :
                 {std::pair<std::size_t, std::size_t>{0, 1}, {1, 4095}, {4097, 9001}, {19999, 1}}) {
                std::vector<double> part(count);
                measure.binMasses(n, from + start, part, RunControl{2, nullptr, nullptr});
                for (std::size_t j = 0; j < count; ++j) {
                    ASSERT_EQ(part[j], whole[start + j]) << "bin " << from + start + j;
                }
            }
        }
    }
}

TEST(MarkovBins, RefuseBinsThatCannotBe) {
    const std::vector<MarkovPiece> golden{{0, 0.6, 0, 1}, {0.6, 1, 0, 0.6}};
    const MarkovCascade measure(golden, {{1, 2}, {1}});
    std::vector<double> out(4);
    EXPECT_THROW(measure.binMasses(0, 0, std::span<double>()), InputError);
    EXPECT_THROW(measure.binMasses(Cascade::kMaxBins + 1, 0, out), InputError);
    EXPECT_THROW(measure.binMasses(10, 7, out), InputError);
    EXPECT_NO_THROW(measure.binMasses(10, 6, out));
    std::vector<MarkovPiece> many;
    for (int i = 0; i <= static_cast<int>(MarkovCascade::kMostPieces); ++i) {
        many.push_back({i / 2049.0, (i + 1) / 2049.0, 0, 1});
    }
    EXPECT_THROW(MarkovCascade(many, {}), InputError);
    EXPECT_THROW(MarkovCascade(golden, {{1, 2}, {1, 1}}), WeightError);
}

// Maps of every family with weights drawn over six orders of magnitude: the reference, fewer
// bins in blocks, and the total.
TEST(MarkovBins, OfRandomMeasuresOnEveryFamilyKeepTheirInvariants) {
    std::mt19937_64 engine(20261208);
    std::uniform_real_distribution<double> exponent(-3.0, 3.0);
    for (const test::MarkovFamily family : test::allMarkovFamilies()) {
        for (const std::uint64_t seed : {1, 2}) {
            SCOPED_TRACE(test::familyName(family) + ", seed " + std::to_string(seed));
            const std::vector<MarkovPiece> pieces = test::markovFamilyMap(family, 6, seed, 3);
            MarkovWeights weights;
            for (std::size_t i = 0; i < pieces.size(); ++i) {
                std::vector<double> row;
                for (std::size_t k = 0; k < covered(pieces, i).size(); ++k) {
                    row.push_back(std::pow(10.0, exponent(engine)));
                }
                weights.push_back(row);
            }
            expectReference(pieces, weights, 96, 1e-12);
            const MarkovCascade measure(pieces, weights);
            const std::vector<double> fine = binsOf(measure, 3 << 12, 2);
            const std::vector<double> coarse = binsOf(measure, 3 << 8, 2);
            for (std::size_t j = 0; j < coarse.size(); ++j) {
                Real sum = 0;
                for (std::size_t i = 0; i < 16; ++i) {
                    sum += fine[j * 16 + i];
                }
                expectWithin(coarse[j], sum, 1e-13, "bin " + std::to_string(j));
            }
            expectUnitTotal(fine);
        }
    }
}

// The cylinders of level m (m + 1 pieces) in quad precision, found as the preimages of the
// pieces under the branch, sorted by their left ends: the cells in order of position.
struct QuadCell {
    Quad left;
    Quad width;
    Quad mass;
};

std::vector<QuadCell> referenceCells(const Reference& r, unsigned levels) {
    std::vector<QuadCell> cells;
    std::function<void(Quad, Quad, Quad, std::size_t, bool, unsigned)> visit =
        [&](Quad a, Quad b, Quad mass, std::size_t i, bool up, unsigned depth) {
            if (depth == levels) {
                cells.push_back({a, b - a, mass});
                return;
            }
            const MarkovPiece& q = r.pieces[i];
            const Quad slope = (Quad(q.imageRight) - q.imageLeft) / (Quad(q.right) - q.left);
            const auto place = [&](Quad y) {
                const Quad part = (y - q.imageLeft) / slope / (Quad(q.right) - q.left);
                return up ? a + part * (b - a) : b - part * (b - a);
            };
            for (const std::size_t j : covered(r.pieces, i)) {
                const Quad x0 = place(r.pieces[j].left);
                const Quad x1 = place(r.pieces[j].right);
                visit(std::min(x0, x1), std::max(x0, x1), mass * r.p[i][j], j, x1 > x0, depth + 1);
            }
        };
    for (std::size_t i = 0; i < r.pieces.size(); ++i) {
        visit(r.pieces[i].left, r.pieces[i].right, r.pi[i], i, true, 0);
    }
    std::sort(cells.begin(), cells.end(),
              [](const QuadCell& x, const QuadCell& y) { return x.left < y.left; });
    return cells;
}

std::vector<Cascade::Cell> cellsOf(const MarkovCascade& measure, unsigned levels) {
    std::vector<Cascade::Cell> out(measure.cellCount(levels));
    measure.levelCells(levels, 0, out);
    return out;
}

// Every cell's end, width and mass against the quad cylinders; the ends are each the double
// nearest their value, the masses products of some weights (π from another elimination).
TEST(MarkovCells, AreTheCylindersInOrderOfPosition) {
    for (const Case& c : cases("cells")) {
        const MarkovCascade measure(c.pieces, c.weights);
        const Reference r = referenceOf(c.pieces, c.weights);
        for (const double level : c.bins) {
            const auto m = static_cast<unsigned>(level);
            SCOPED_TRACE(c.name + ", level " + std::to_string(m));
            const std::vector<QuadCell> want = referenceCells(r, m);
            const std::vector<Cascade::Cell> got = cellsOf(measure, m);
            ASSERT_EQ(got.size(), want.size());
            for (std::size_t k = 0; k < got.size(); ++k) {
                const std::string what = "cell " + std::to_string(k);
                expectWithin(got[k].left, static_cast<Real>(want[k].left), 2e-16, what + " left");
                expectWithin(got[k].width, static_cast<Real>(want[k].width), 4e-16,
                             what + " width");
                expectWithin(got[k].mass, static_cast<Real>(want[k].mass), 1e-14, what + " mass");
            }
        }
    }
}

// The children of each cell of level m - 1 (the cells of level m inside it, a run in order)
// add up to its mass; the cells tile [0, 1] in order; the level adds up to 1.
TEST(MarkovCells, AddUpToTheirParentsAndTileTheInterval) {
    for (const Case& c : cases("cells")) {
        const MarkovCascade measure(c.pieces, c.weights);
        for (const double level : c.bins) {
            const auto m = static_cast<unsigned>(level);
            SCOPED_TRACE(c.name + ", level " + std::to_string(m));
            const std::vector<Cascade::Cell> cells = cellsOf(measure, m);
            EXPECT_EQ(cells.front().left, 0.0);
            Real total = 0;
            for (std::size_t k = 0; k < cells.size(); ++k) {
                total += cells[k].mass;
                const double end = cells[k].left + cells[k].width;
                const double next = k + 1 < cells.size() ? cells[k + 1].left : 1.0;
                expectWithin(end, next, 0x1p-51, "the end of cell " + std::to_string(k));
            }
            EXPECT_LE(std::fabs(total - 1), 4.0 * static_cast<double>(cells.size()) * 0x1p-53);
            if (m == 0) {
                continue;
            }
            const std::vector<Cascade::Cell> parents = cellsOf(measure, m - 1);
            std::size_t k = 0;
            for (std::size_t p = 0; p < parents.size(); ++p) {
                const double end = parents[p].left + parents[p].width;
                Real sum = 0;
                std::size_t children = 0;
                for (; k < cells.size() && cells[k].left + cells[k].width / 2 < end; ++k) {
                    sum += cells[k].mass;
                    ++children;
                }
                EXPECT_GE(children, 1U) << "parent " << p;
                expectWithin(parents[p].mass, sum, 1e-14, "parent " + std::to_string(p));
            }
            EXPECT_EQ(k, cells.size());
        }
    }
}

// The numbers of cells, exact to 2^40 and one more beyond.
TEST(MarkovCells, AreCountedExactly) {
    for (const test::Row& row : test::readTable("core/markov-bins.tsv")) {
        if (row.at(0) != "count") {
            continue;
        }
        const MarkovCascade measure(piecesOf(row.at(2)), weightsOf(row.at(3)));
        const std::vector<double> levels = test::numbers(row.at(4));
        const std::vector<double> counts = test::numbers(row.at(5));
        ASSERT_EQ(levels.size(), counts.size());
        for (std::size_t k = 0; k < levels.size(); ++k) {
            EXPECT_EQ(measure.cellCount(static_cast<unsigned>(levels[k])),
                      static_cast<std::uint64_t>(counts[k]))
                << row.at(1) << ", level " << levels[k];
        }
    }
}

// Every piece onto [0, 1] with equal rows: level m is the cascade's level m + 1.
TEST(MarkovCells, OfABernoulliMeasureAreTheCascades) {
    for (const Case& c : cases("bernoulli-cells")) {
        const MarkovCascade measure(c.pieces, c.weights);
        std::vector<double> breaks;
        for (std::size_t i = 1; i < c.pieces.size(); ++i) {
            breaks.push_back(c.pieces[i].left);
        }
        const Cascade cascade(breaks, c.weights.front());
        for (const double level : c.bins) {
            const auto m = static_cast<unsigned>(level);
            SCOPED_TRACE(c.name + ", level " + std::to_string(m));
            const std::vector<Cascade::Cell> got = cellsOf(measure, m);
            std::vector<Cascade::Cell> want(cascade.cellCount(m + 1));
            cascade.levelCells(m + 1, 0, want);
            ASSERT_EQ(got.size(), want.size());
            for (std::size_t k = 0; k < got.size(); ++k) {
                const std::string what = "cell " + std::to_string(k);
                expectWithin(got[k].left, want[k].left, 1e-15, what + " left");
                expectWithin(got[k].width, want[k].width, 1e-15, what + " width");
                expectWithin(got[k].mass, want[k].mass, 1e-15, what + " mass");
            }
        }
    }
}

// A cell depends on the level and its index alone: asked in ranges that start and stop anywhere,
// near the end of a level of some 2^39 cells too, it has the same bits.
TEST(MarkovCells, AreTheSameInAnyRange) {
    for (const Case& c : cases("cells")) {
        SCOPED_TRACE(c.name);
        const MarkovCascade measure(c.pieces, c.weights);
        unsigned deep = 0;
        while (measure.cellCount(deep + 1) <= Cascade::kMaxBins) {
            ++deep;
        }
        for (const unsigned m : {static_cast<unsigned>(c.bins.back()), deep}) {
            const std::uint64_t count = std::min<std::uint64_t>(measure.cellCount(m), 3000);
            const std::uint64_t from = measure.cellCount(m) - count;
            std::vector<Cascade::Cell> whole(count);
            measure.levelCells(m, from, whole);
            for (const auto& [start, size] : {std::pair<std::size_t, std::size_t>{0, 1},
                                              {1, count / 3},
                                              {1 + count / 3, count - 2 - count / 3},
                                              {count - 1, 1}}) {
                std::vector<Cascade::Cell> part(size);
                measure.levelCells(m, from + start, part);
                for (std::size_t k = 0; k < size; ++k) {
                    const Cascade::Cell& w = whole[start + k];
                    ASSERT_EQ(part[k].left, w.left) << "level " << m << ", cell " << start + k;
                    ASSERT_EQ(part[k].width, w.width) << "level " << m << ", cell " << start + k;
                    ASSERT_EQ(part[k].mass, w.mass) << "level " << m << ", cell " << start + k;
                }
            }
        }
    }
}

TEST(MarkovCells, RefuseLevelsAndRangesThatCannotBe) {
    const std::vector<MarkovPiece> golden{{0, 0.6, 0, 1}, {0.6, 1, 0, 0.6}};
    const MarkovCascade measure(golden, {{1, 2}, {1}});
    std::vector<Cascade::Cell> out(4);
    EXPECT_THROW(measure.levelCells(57, 0, out), InputError); // F(60) cells, beyond 2^40
    EXPECT_THROW(measure.levelCells(4000000000U, 0, out), InputError);
    EXPECT_THROW(measure.levelCells(2, 2, out), InputError); // 5 cells
    EXPECT_THROW(measure.checkCells(2, 6, 0), InputError);
    EXPECT_NO_THROW(measure.levelCells(2, 1, out));
    EXPECT_NO_THROW(measure.checkCells(2, 5, 0));
    EXPECT_NO_THROW(measure.levelCells(56, 956722026041 - 4, out));
    // A chain of 1500 pieces each onto the next with slope 1.0003, the last onto the first two:
    // the words grow by 2 in about 1500 levels, so that a level of few cells takes more counts of
    // words than are kept.
    const std::size_t n = 1500;
    const double r = std::pow(1.5, 1.0 / static_cast<double>(n - 1));
    std::vector<double> ends{0.0};
    for (std::size_t i = 0; i < n; ++i) {
        ends.push_back(ends.back() + std::pow(r, static_cast<double>(i)));
    }
    std::vector<MarkovPiece> chain;
    MarkovWeights rows;
    for (std::size_t i = 0; i < n; ++i) {
        const double scale = ends.back();
        const std::size_t to = i + 1 < n ? i + 1 : 0;
        chain.push_back({ends[i] / scale, ends[i + 1] / scale, ends[to] / scale,
                         ends[i + 1 < n ? i + 2 : 2] / scale});
        rows.push_back(i + 1 < n ? std::vector<double>{1} : std::vector<double>{1, 1});
    }
    chain.back().right = 1.0;
    chain[n - 2].imageRight = 1.0;
    const MarkovCascade slow(chain, rows);
    const auto deep = static_cast<unsigned>(MarkovCascade::kMostCountEntries / n);
    EXPECT_LE(slow.cellCount(deep), Cascade::kMaxBins);
    EXPECT_NO_THROW(slow.checkCells(deep - 1, 0, 1));
    EXPECT_THROW(slow.checkCells(deep, 0, 1), InputError);
}

} // namespace
} // namespace veltrane
