// Solves with σI - C by the Grassmann–Taksar–Heyman elimination, against long double Gaussian
// elimination of the same dense matrix, on seeded graphs of short runs with entries over six
// orders of magnitude, σ well above the largest row sum and within 1e-3 of it.
#include "Gth.h"
#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace veltrane {
namespace {

using Dense = std::vector<std::vector<long double>>;

struct Problem {
    IntervalRows rows;
    std::vector<std::vector<double>> c; // C_ij for j in row i's run
    std::vector<double> deficit;
};

Problem randomProblem(std::size_t n, double above, std::mt19937_64& engine) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Problem p;
    std::vector<double> sums(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        const auto length =
            1 + static_cast<std::uint32_t>(unit(engine) * double(std::min<std::size_t>(n, 4)));
        const auto begin = static_cast<std::uint32_t>(unit(engine) * double(n - length + 1));
        p.rows.begin.push_back(begin);
        p.rows.end.push_back(begin + length);
        p.c.emplace_back();
        for (std::uint32_t j = 0; j < length; ++j) {
            p.c[i].push_back((0.01 + unit(engine)) * std::pow(10.0, -6.0 * unit(engine)));
            sums[i] += p.c[i].back();
        }
    }
    const double sigma = *std::max_element(sums.begin(), sums.end()) * (1.0 + above);
    for (std::size_t i = 0; i < n; ++i) {
        p.deficit.push_back(sigma - sums[i]);
    }
    return p;
}

// σI - C as the elimination forms it: the diagonal the deficit plus the row's other entries.
Dense denseOf(const Problem& p) {
    const std::size_t n = p.rows.size();
    Dense a(n, std::vector<long double>(n, 0.0L));
    for (std::size_t i = 0; i < n; ++i) {
        a[i][i] = p.deficit[i];
        for (std::uint32_t j = p.rows.begin[i]; j < p.rows.end[i]; ++j) {
            if (j != i) {
                const long double c = p.c[i][j - p.rows.begin[i]];
                a[i][j] -= c;
                a[i][i] += c;
            }
        }
    }
    return a;
}

void expectSolution(std::span<const double> got, const std::vector<long double>& want,
                    const std::string& what) {
    for (std::size_t k = 0; k < got.size(); ++k) {
        EXPECT_LE(std::fabs(got[k] - want[k]), 1e-12L * std::fabs(want[k]))
            << what << " entry " << k << ": " << got[k] << " against " << double(want[k]);
    }
}

TEST(GthFactor, SolvesAsDenseEliminationDoes) {
    std::mt19937_64 engine(20261208);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const std::size_t n :
         {std::size_t{1}, std::size_t{6}, std::size_t{40}, std::size_t{150}}) {
        for (const double above : {1.0, 1e-3}) {
            SCOPED_TRACE(std::to_string(n) + " vertices, sigma 1 + " + std::to_string(above) +
                         " times the largest row sum");
            const Problem p = randomProblem(n, above, engine);
            const std::optional<GthPattern> pattern = GthPattern::of(p.rows, n * n, n * n * n + 16);
            ASSERT_TRUE(pattern.has_value());
            GthFactor factor(*pattern);
            const auto entries = [&](std::size_t i, const auto& take) {
                for (std::uint32_t j = p.rows.begin[i]; j < p.rows.end[i]; ++j) {
                    take(j, p.c[i][j - p.rows.begin[i]]);
                }
            };
            ASSERT_TRUE(factor.factor(entries, p.deficit));
            std::vector<double> b(n);
            std::generate(b.begin(), b.end(), [&] { return 0.5 + unit(engine); });
            const Dense a = denseOf(p);
            Dense transposed(n, std::vector<long double>(n));
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t j = 0; j < n; ++j) {
                    transposed[j][i] = a[i][j];
                }
            }
            const std::vector<long double> wide(b.begin(), b.end());
            std::vector<double> x = b;
            factor.solve(x);
            expectSolution(x, test::solveDense(a, wide), "solve");
            std::vector<double> y = b;
            factor.solveTransposed(y);
            expectSolution(y, test::solveDense(transposed, wide), "transposed solve");
        }
    }
}

} // namespace
} // namespace veltrane
