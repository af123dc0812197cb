// The partition sums Z_q(N) against quad-precision sums of the same bins, the b-adic identity
// Z_q(b^m) = (Σ p^q)^m, the solver's τ(q), and the same bits however the work is shared, on
// the measures of tests/data/core/partition.tsv.
#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <quadmath.h>
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
        for (const std::uint64_t chunk : {std::uint64_t{1}, std::uint64_t{3}}) {
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

} // namespace
} // namespace veltrane
