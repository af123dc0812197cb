// The Γ deviates behind the Dirichlet and beta laws: the squeeze that accepts most draws
// without a logarithm lies below the acceptance bound of Marsaglia and Tsang's method for
// every shape, and cells of shapes near the ends of the doubles still give weights that add
// up to 1.
#include "CellDraw.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <vector>
#include <veltrane/random.h>

namespace veltrane {
namespace {

// h(y) = 3 ln(1 + y) - 3y + 3y²/2 - y³, with g = d h(c x) the logarithm of the acceptance
// bound: its series 3 Σ_{n≥4} (-1)^(n+1) y^n / n near 0, where the closed form cancels.
long double h(long double y) {
    if (std::fabs(y) < 0.01L) {
        long double sum = 0.0L;
        long double power = y * y * y;
        for (int n = 4; n < 40; ++n) {
            power *= y;
            sum += (n % 2 == 0 ? -3.0L : 3.0L) * power / n;
        }
        return sum;
    }
    return 3.0L * std::log1p(y) - 3.0L * y + 1.5L * y * y - y * y * y;
}

// ln(1 - k x⁴) ≤ g(x) wherever 1 - k x⁴ > 0 and t = 1 + c x > 0, on a grid of 100,001 x
// from t = 1e-9 to where 1 - k x⁴ = 0 (the region t < 1/m, where only the sign of 1 - k x⁴
// keeps the squeeze below, included), for shapes from 1 to 1e12.
TEST(GammaDraw, SqueezeLiesBelowTheAcceptanceBound) {
    for (const double a : {1.0, 1.0 + 1e-9, 1.1, 1.25, 1.5, 2.0, 2.75, 3.7, 5.0, 10.0, 57.0, 1e3,
                           1e6, 1e12, 0.5, 1e-3}) {
        SCOPED_TRACE("a = " + std::to_string(a));
        const detail::GammaShape shape = detail::gammaShape(a);
        ASSERT_GT(shape.squeeze, 0.0);
        const long double d = shape.d;
        const long double c = shape.c;
        const long double reach = std::pow(static_cast<long double>(shape.squeeze), -0.25L);
        const long double lowest = std::max(-reach, (1e-9L - 1.0L) / c);
        constexpr int kSteps = 100000;
        for (int i = 0; i <= kSteps; ++i) {
            const long double x = lowest + (reach - lowest) * i / kSteps;
            const long double reached = shape.squeeze * x * x * x * x;
            if (reached >= 1.0L) {
                continue;
            }
            const long double g = d * h(c * x);
            ASSERT_LE(std::log1p(-reached), g + 1e-15L * std::fabs(g)) << "x = " << x;
        }
    }
}

// Shapes of 2^960 and more, where the deviates are drawn as logarithms lest their sum
// overflow, and the largest shape drawn as values: every cell's two weights are positive,
// finite, near 1/2 and add up to 1.
TEST(GammaDraw, HugeShapesKeepTheirWeights) {
    for (const double a : {0x1p960, 0x1p961, 1e300, 1.7e308}) {
        SCOPED_TRACE("a = " + std::to_string(a));
        const RandomModel model = RandomModel::beta(a);
        std::vector<double> bins(64);
        RandomCascade(model, 7).binMasses(bins.size(), 0, bins);
        for (const double m : bins) {
            EXPECT_NEAR(m, 1.0 / 64.0, 1e-12);
        }
        EXPECT_NEAR(std::accumulate(bins.begin(), bins.end(), 0.0), 1.0, 1e-14);
    }
}

} // namespace
} // namespace veltrane
