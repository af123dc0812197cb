// The eigenvalues of small Hessenberg matrices, which the Markov solver's Krylov steps take
// as their shifts, against matrices whose eigenvalues are known (tests/data/core).
#include "Hessenberg.h"
#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>

namespace veltrane {
namespace {

using Values = std::vector<std::complex<double>>;

Values sorted(Values values) {
    std::sort(values.begin(), values.end(), [](auto a, auto b) {
        return a.real() != b.real() ? a.real() < b.real() : a.imag() < b.imag();
    });
    return values;
}

TEST(Hessenberg, EigenvaluesOfKnownMatrices) {
    for (const test::Row& row : test::readTable("core/hessenberg.tsv")) {
        SCOPED_TRACE(row[0]);
        const auto m = static_cast<std::size_t>(std::stoul(row[1]));
        const std::vector<double> h = test::numbers(row[2]);
        const std::vector<double> pairs = test::numbers(row[3]);
        ASSERT_EQ(h.size(), m * m);
        Values want;
        double norm = 0.0;
        for (std::size_t i = 0; i < pairs.size(); i += 2) {
            want.emplace_back(pairs[i], pairs[i + 1]);
        }
        for (const double x : h) {
            norm = std::max(norm, std::fabs(x));
        }
        const auto got = hessenbergEigenvalues(h, m);
        ASSERT_TRUE(got.has_value());
        ASSERT_EQ(got->size(), m);
        const Values a = sorted(*got);
        const Values b = sorted(want);
        for (std::size_t i = 0; i < m; ++i) {
            EXPECT_LE(std::abs(a[i] - b[i]), 1e-12 * norm) << a[i] << " against " << b[i];
        }
    }
}

} // namespace
} // namespace veltrane
