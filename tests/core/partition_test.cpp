// The partition sums Z_q(N) against quad-precision sums of the same bins, the b-adic identity
// Z_q(b^m) = (Σ p^q)^m, the solver's τ(q), and the same bits however the work is shared, on
// the measures of tests/data/core/partition.tsv.
#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <quadmath.h>
#include <random>
#include <veltrane/cascade.h>
#include <veltrane/errors.h>
#include <veltrane/multifractal.h>
#include <veltrane/partition.h>

namespace veltrane {
namespace {

__extension__ typedef __float128 Quad;

using test::numbers;

std::vector<std::uint64_t> counts(const std::string& words) {
    std::vector<std::uint64_t> n;
    for (const double v : numbers(words)) {
        n.push_back(static_cast<std::uint64_t>(v));
    }
    return n;
}

// The one tolerance of these tests: ln Z is formed from e^(q ln μ), each rounded within about
// 2^-52 |q ln μ| (ln μ itself rounded, then the product, then the exponential), plus a few units
// of the sum's last place.
void expectWithinRounding(double actual, double expected, double largestExponent) {
    const double tolerance = 0x1p-50 * largestExponent + 1e-15 * (1.0 + std::abs(expected));
    EXPECT_NEAR(actual, expected, tolerance);
}

double logAt(const PartitionSums& sums, std::size_t i, std::size_t j) {
    return sums.logZ[i * sums.q.size() + j];
}

void bruteForce(const Cascade& cascade, const std::vector<std::uint64_t>& bins,
                const std::vector<double>& q) {
    const PartitionSums sums = partitionSums(cascade, bins, q);
    for (std::size_t i = 0; i < sums.bins.size(); ++i) {
        std::vector<double> masses(sums.bins[i]);
        cascade.binMasses(sums.bins[i], 0, masses);
        for (std::size_t j = 0; j < q.size(); ++j) {
            // Scaled by the largest power so that the quad sum cannot overflow either.
            Quad largest = -std::numeric_limits<double>::infinity();
            double largestExponent = 0.0;
            for (const double m : masses) {
                largest = std::max(largest, static_cast<Quad>(q[j]) * logq(m));
                largestExponent = std::max(largestExponent, std::abs(q[j] * std::log(m)));
            }
            Quad sum = 0;
            for (const double m : masses) {
                sum += expq(static_cast<Quad>(q[j]) * logq(m) - largest);
            }
            SCOPED_TRACE("N " + std::to_string(sums.bins[i]) + ", q " + std::to_string(q[j]));
            expectWithinRounding(logAt(sums, i, j), static_cast<double>(largest + logq(sum)),
                                 largestExponent);
            if (q[j] == 0.0) {
                EXPECT_EQ(logAt(sums, i, j), std::log(static_cast<double>(sums.bins[i])));
            }
        }
    }
}

void bAdic(const Cascade& cascade, const MultifractalSolver& solver, unsigned levels,
           const std::vector<double>& q) {
    const auto b = static_cast<std::uint64_t>(cascade.branches());
    std::vector<std::uint64_t> bins{b};
    while (bins.size() < levels) {
        bins.push_back(bins.back() * b);
    }
    const PartitionSums sums = partitionSums(cascade, bins, q);
    for (std::size_t j = 0; j < q.size(); ++j) {
        double sumOfPowers = 0.0;
        double largestLog = 0.0;
        for (const double p : cascade.weights()) {
            sumOfPowers += std::pow(p, q[j]);
            largestLog = std::max(largestLog, std::abs(std::log(p)));
        }
        for (std::size_t i = 0; i < bins.size(); ++i) {
            const auto m = static_cast<double>(i + 1);
            SCOPED_TRACE("m " + std::to_string(i + 1) + ", q " + std::to_string(q[j]));
            // Each mass is a product of m weights, each rounded: m more units of |q ln p|.
            expectWithinRounding(logAt(sums, i, j), m * std::log(sumOfPowers),
                                 (m + 4.0) * std::abs(q[j]) * m * largestLog);
            if (i > 0) {
                expectWithinRounding(sums.tauApparent[(i - 1) * q.size() + j],
                                     solver.exponents(q[j]).tau,
                                     (m + 4.0) * std::abs(q[j]) * m * largestLog);
            }
        }
    }
}

void tendsToTau(const Cascade& cascade, const MultifractalSolver& solver,
                const std::vector<std::uint64_t>& bins, const std::vector<double>& q) {
    const PartitionSums sums = partitionSums(cascade, bins, q);
    const std::size_t last = sums.bins.size() - 2;
    for (std::size_t j = 0; j < q.size(); ++j) {
        const double tau = solver.exponents(q[j]).tau;
        SCOPED_TRACE("q " + std::to_string(q[j]));
        EXPECT_LT(std::abs(sums.tauApparent[last * q.size() + j] - tau),
                  std::abs(sums.tauApparent[j] - tau));
    }
}

void sameBitsAnyHow(const Cascade& cascade, const std::vector<std::uint64_t>& bins,
                    const std::vector<double>& q) {
    const PartitionSums one = partitionSums(cascade, bins, q, {.threads = 1});
    const PartitionSums three = partitionSums(cascade, bins, q, {.threads = 3});
    EXPECT_EQ(one.logZ, three.logZ);
    EXPECT_EQ(one.tauApparent, three.tauApparent);
    for (std::size_t i = 0; i < one.bins.size(); ++i) {
        const std::uint64_t blocks = partitionBlocks(one.bins[i]);
        for (const std::uint64_t chunk : {std::uint64_t{1}, std::uint64_t{2}}) {
            std::vector<ScaledSum> total(q.size());
            for (std::uint64_t first = 0; first < blocks; first += chunk) {
                foldBlockSums(total, partitionBlockSums(cascade, one.bins[i], first,
                                                        std::min(chunk, blocks - first), q,
                                                        {.threads = 2}));
            }
            for (std::size_t j = 0; j < q.size(); ++j) {
                EXPECT_EQ(logOf(total[j]), logAt(one, i, j)) << "chunks of " << chunk;
            }
        }
    }
}

void refused(const Cascade& cascade, const std::vector<std::uint64_t>& bins,
             const std::vector<double>& q, const std::string& error) {
    if (error == "input") {
        EXPECT_THROW(partitionSums(cascade, bins, q), InputError);
        return;
    }
    try {
        partitionSums(cascade, bins, q);
        ADD_FAILURE() << "not refused";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Overflow) << e.what();
    }
}

TEST(PartitionSums, MeetTheTable) {
    for (const test::Row& row : test::readTable("core/partition.tsv")) {
        SCOPED_TRACE(row[0] + " " + row[1] + " / " + row[2] + " / " + row[3]);
        const std::vector<double> b = numbers(row[1]);
        const std::vector<double> w = numbers(row[2]);
        const Cascade cascade(b, w);
        const MultifractalSolver solver(b, w);
        const std::vector<double> q = numbers(row[4]);
        if (row[0] == "brute") {
            bruteForce(cascade, counts(row[3]), q);
        } else if (row[0] == "badic") {
            bAdic(cascade, solver, static_cast<unsigned>(std::stoul(row[3])), q);
        } else if (row[0] == "tends") {
            tendsToTau(cascade, solver, counts(row[3]), q);
        } else if (row[0] == "threads") {
            sameBitsAnyHow(cascade, counts(row[3]), q);
        } else if (row[0] == "refuse") {
            refused(cascade, counts(row[3]), q, row[5]);
        } else {
            ADD_FAILURE() << "unknown kind";
        }
    }
}

// ln Z from elsewhere that breaks a bound is a fault, never a result.
TEST(PartitionSums, RefuseResultsThatBreakABound) {
    const std::vector<std::uint64_t> bins{4, 8};
    const std::vector<double> q{-1, 0, 1, 2};
    const PartitionSums good =
        partitionSums(Cascade(std::vector{0.5}, std::vector{0.3, 0.7}), bins, q);
    const auto internalError = [&](std::size_t at, double value) {
        std::vector<double> logZ = good.logZ;
        logZ[at] = value;
        try {
            partitionResult(bins, q, logZ);
            ADD_FAILURE() << "taken: ln Z " << at << " = " << value;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Internal) << e.what();
        }
    };
    internalError(1, std::nextafter(std::log(4.0), 2.0)); // Z_0 one unit past N
    internalError(2, 1e-9);                               // Z_1 not 1
    internalError(3, good.logZ[2] + 1e-6);                // rising from q = 1 to 2
    internalError(0, 2.0 * std::log(4.0) - 1e-3);         // below (1 - q) ln N
    internalError(4, std::numeric_limits<double>::infinity());
    internalError(7, good.logZ[6] - 0.9 * (good.logZ[5] - good.logZ[6]) * 3); // not convex
    EXPECT_NO_THROW(partitionResult(bins, q, good.logZ));
}

// Random measures of several sizes and unevenness at random N: every result passes the checks
// partitionSums makes, and ln Z_q(N) keeps the bounds of Σ μ = 1 over N bins: N equal bins
// give (1 - q) ln N, a least for q < 0 and q > 1 and a most for 0 < q < 1; one full bin gives
// 0, a least for q < 1 and a most for q > 1.
TEST(PartitionSums, RandomMeasuresKeepTheirBounds) {
    std::mt19937_64 engine(2828);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const std::vector<double> q{-4, -1, -0.25, 0, 0.5, 1, 1.5, 3, 8};
    for (const int branches : {2, 3, 5, 9, 24}) {
        for (const double spread : {1.0, 1e-3, 1e-8}) {
            std::vector<double> b(static_cast<std::size_t>(branches - 1));
            std::vector<double> w(static_cast<std::size_t>(branches));
            std::generate(b.begin(), b.end(), [&] { return uniform(engine); });
            std::generate(w.begin(), w.end(), [&] { return spread + uniform(engine); });
            std::sort(b.begin(), b.end());
            const std::vector<std::uint64_t> bins{
                1 + static_cast<std::uint64_t>(uniform(engine) * 50),
                100 + static_cast<std::uint64_t>(uniform(engine) * 5000)};
            SCOPED_TRACE(std::to_string(branches) + " branches, N " + std::to_string(bins[1]));
            const PartitionSums sums = partitionSums(Cascade(b, w), bins, q);
            for (std::size_t i = 0; i < bins.size(); ++i) {
                const double logN = std::log(static_cast<double>(sums.bins[i]));
                for (std::size_t j = 0; j < q.size(); ++j) {
                    const double z = logAt(sums, i, j);
                    const double slack = 1e-12 * (1 + std::abs(q[j]) * 700);
                    const double equal = (1 - q[j]) * logN;
                    const double lo = q[j] < 0 ? equal : std::min(0.0, equal);
                    const double hi = q[j] < 0 ? HUGE_VAL : std::max(0.0, equal);
                    EXPECT_TRUE(z >= lo - slack && z <= hi + slack) << "q " << q[j];
                }
            }
        }
    }
}

} // namespace
} // namespace veltrane
