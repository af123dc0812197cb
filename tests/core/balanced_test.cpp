// The Markov solver's balanced matrix B: its products B x and Bᵀ x against sums of the entries
// it lists, carried in long double, on seeded graphs of runs whose entries span hundreds of
// orders of magnitude (rows of one common scale and rows held as lists).
#include "Balanced.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace veltrane {
namespace {

struct Instance {
    IntervalRows rows;
    BalancedFrame frame;
};

// n vertices, each with a run of successors of up to longest columns; potentials spread over
// spread, and values made from them as the optimal potentials of the smallest cycle mean make
// them (g_i = η + p_i - min over the run of p, plus a small excess): every entry of B at most 1.
Instance randomInstance(std::size_t n, std::uint32_t longest, double spread,
                        std::mt19937_64& engine) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Instance s;
    s.frame.mean = 0.5;
    for (std::size_t j = 0; j < n; ++j) {
        s.frame.potentials.push_back(spread * unit(engine) * unit(engine));
    }
    for (std::size_t i = 0; i < n; ++i) {
        const auto length = 1 + static_cast<std::uint32_t>(unit(engine) * longest);
        const auto begin = static_cast<std::uint32_t>(
            unit(engine) * static_cast<double>(n - std::min<std::size_t>(length, n)));
        const std::uint32_t end = std::min<std::uint32_t>(begin + length, std::uint32_t(n));
        s.rows.begin.push_back(begin);
        s.rows.end.push_back(end);
        const double least =
            *std::min_element(s.frame.potentials.begin() + begin, s.frame.potentials.begin() + end);
        const double excess = unit(engine) < 0.5 ? 0.0 : 0.1 * unit(engine);
        s.frame.values.push_back(s.frame.mean + s.frame.potentials[i] - least + excess);
    }
    return s;
}

// The products of B with x, each entry against the long double sum of the terms row() lists:
// within 8 units of 2^-53 of the sum of the terms' magnitudes for x of both signs, and of the
// entry itself for x ≥ 0.
void expectProducts(BalancedMatrix& matrix, std::span<const double> x, bool signs) {
    const std::size_t n = matrix.size();
    std::vector<long double> rightSum(n, 0.0L);
    std::vector<long double> rightSize(n, 0.0L);
    std::vector<long double> leftSum(n, 0.0L);
    std::vector<long double> leftSize(n, 0.0L);
    for (std::size_t i = 0; i < n; ++i) {
        matrix.row(i, [&](std::uint32_t j, double entry) {
            const long double e = entry;
            rightSum[i] += e * x[j];
            rightSize[i] += std::fabs(e * x[j]);
            leftSum[j] += e * x[i];
            leftSize[j] += std::fabs(e * x[i]);
        });
    }
    std::vector<double> right(n);
    std::vector<double> left(n);
    matrix.right(x, right);
    matrix.left(x, left);
    for (std::size_t k = 0; k < n; ++k) {
        const long double rightScale = signs ? rightSize[k] : std::fabs(rightSum[k]);
        const long double leftScale = signs ? leftSize[k] : std::fabs(leftSum[k]);
        EXPECT_LE(std::fabs(right[k] - rightSum[k]), 8 * DBL_EPSILON / 2 * rightScale)
            << "(B x)_" << k << " = " << right[k] << " against " << double(rightSum[k]);
        EXPECT_LE(std::fabs(left[k] - leftSum[k]), 8 * DBL_EPSILON / 2 * leftScale)
            << "(Bt x)_" << k << " = " << left[k] << " against " << double(leftSum[k]);
    }
}

TEST(BalancedMatrix, ProductsKeepTheirAccuracyAtEveryScale) {
    std::mt19937_64 engine(20261208);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const std::size_t n : {std::size_t{12}, std::size_t{200}, std::size_t{700}}) {
        for (const std::uint32_t longest :
             {std::uint32_t{4}, std::uint32_t{40}, std::uint32_t(n)}) {
            const Instance s = randomInstance(n, longest, 30.0, engine);
            const PotentialTree tree(s.frame.potentials);
            BalancedMatrix matrix(s.rows, s.frame, tree);
            // b = 0.1 keeps every row in the common scale; 40 sends some beyond it, to lists.
            for (const double b : {0.1, 3.0, 40.0}) {
                SCOPED_TRACE(std::to_string(n) + " pieces, runs up to " + std::to_string(longest) +
                             ", b " + std::to_string(b));
                matrix.setBeta(b);
                std::vector<double> positive(n);
                std::vector<double> signs(n);
                for (std::size_t j = 0; j < n; ++j) {
                    // Magnitudes over 2^-30 .. 1, so that small terms follow large ones.
                    positive[j] =
                        std::ldexp(0.5 + unit(engine), -static_cast<int>(30 * unit(engine)));
                    signs[j] = unit(engine) < 0.5 ? -positive[j] : positive[j];
                }
                expectProducts(matrix, positive, false);
                expectProducts(matrix, signs, true);
            }
        }
    }
}

} // namespace
} // namespace veltrane
