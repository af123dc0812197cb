// The cascade's bin masses and level cells against closed forms, a quad-precision reference
// and box-sum slopes, on the measures of tests/data/core/cascade.tsv.
#include "TestSupport.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <veltrane/cascade.h>
#include <veltrane/errors.h>
#include <veltrane/internal/npy.h>
#include <veltrane/maps.h>
#include <veltrane/multifractal.h>

namespace veltrane {
namespace {

__extension__ typedef __float128 Quad;

using test::numbers;

std::vector<double> allBins(const Cascade& cascade, std::uint64_t n) {
    std::vector<double> masses(n);
    cascade.binMasses(n, 0, masses);
    return masses;
}

double compensatedSum(const std::vector<double>& values) {
    double sum = 0.0;
    double lost = 0.0;
    for (const double v : values) {
        const double t = sum + v;
        lost += std::fabs(sum) >= std::fabs(v) ? (sum - t) + v : (v - t) + sum;
        sum = t;
    }
    return sum + lost;
}

void equalMasses(const Cascade& cascade, std::uint64_t n) {
    const double expected = 1.0 / static_cast<double>(n);
    const std::vector<double> masses = allBins(cascade, n);
    EXPECT_EQ(std::count(masses.begin(), masses.end(), expected), static_cast<long>(n));
    const auto levels = static_cast<unsigned>(std::lround(
        std::log(static_cast<double>(n)) / std::log(static_cast<double>(cascade.branches()))));
    std::vector<Cascade::Cell> cells(n);
    cascade.levelCells(levels, 0, cells);
    for (std::size_t c = 0; c < n; ++c) {
        ASSERT_EQ(cells[c].left, static_cast<double>(c) * expected) << c;
        ASSERT_EQ(cells[c].width, expected) << c;
        ASSERT_EQ(cells[c].mass, expected) << c;
    }
}

void binomialMasses(const Cascade& cascade, unsigned levels) {
    const std::uint64_t n = std::uint64_t{1} << levels;
    const std::vector<double>& p = cascade.weights();
    std::vector<Cascade::Cell> cells(n);
    cascade.levelCells(levels, 0, cells);
    const std::vector<double> masses = allBins(cascade, n);
    for (std::uint64_t c = 0; c < n; ++c) {
        const int ones = std::popcount(c); // digits in the second branch
        const double expected =
            std::pow(p[0], static_cast<int>(levels) - ones) * std::pow(p[1], ones);
        ASSERT_EQ(cells[c].left, std::ldexp(static_cast<double>(c), -static_cast<int>(levels)));
        ASSERT_EQ(cells[c].width, std::ldexp(1.0, -static_cast<int>(levels)));
        ASSERT_NEAR(cells[c].mass, expected, 1e-14 * expected) << c;
        ASSERT_NEAR(masses[c], expected, 1e-14 * expected) << c;
    }
}

void sumsToOneInAnyRanges(const Cascade& cascade, std::uint64_t n) {
    const std::vector<double> masses = allBins(cascade, n);
    EXPECT_GT(*std::min_element(masses.begin(), masses.end()), 0.0);
    EXPECT_NEAR(compensatedSum(masses), 1.0, 1e-14);
    std::vector<double> pieces(n);
    for (std::uint64_t first = 0, count = 1; first < n; first += count, count = count * 7 % 4099) {
        count = std::min(count, n - first);
        cascade.binMasses(n, first, std::span<double>(pieces).subspan(first, count));
    }
    EXPECT_EQ(pieces, masses);
}

// μ([j/N, (j+1)/N]) in quad precision: the two ends are followed down together while they
// share a cell, then the bin is the part of the cell's branch right of its left end, the
// branches between, and the part of the branch left of its right end, each a sum of positive
// terms to 1e-33 of itself, F(x) = (p_1 + ... + p_{i-1}) + p_i F((x - B_{i-1}) / ℓ_i) and
// its mirror, however small the bin beside the cell. The weights are normalized in quad
// precision too: F differences agree with products of weights only as far as the weights sum
// to 1.
class QuadMeasure {
public:
    QuadMeasure(const std::vector<double>& breakPoints, const std::vector<double>& raw) {
        m_cuts.push_back(0);
        m_cuts.insert(m_cuts.end(), breakPoints.begin(), breakPoints.end());
        m_cuts.push_back(1);
        Quad sum = 0;
        for (const double w : raw) {
            sum += w;
        }
        for (const double w : raw) {
            m_weights.push_back(w / sum);
        }
    }

    Quad mass(std::uint64_t j, std::uint64_t n) const {
        Quad a = Quad(j) / Quad(n);
        Quad b = Quad(j + 1) / Quad(n);
        Quad scale = 1;
        std::size_t k = branchOf(a);
        for (; b < m_cuts[k + 1]; k = branchOf(a)) {
            scale *= m_weights[k];
            a = inBranch(a, k);
            b = inBranch(b, k);
        }
        Quad sum = m_weights[k] * part(inBranch(a, k), true);
        for (++k; k < m_weights.size() && b > m_cuts[k + 1]; ++k) {
            sum += m_weights[k];
        }
        if (k < m_weights.size()) {
            sum += m_weights[k] * part(inBranch(b, k), false);
        }
        return scale * sum;
    }

private:
    std::size_t branchOf(Quad x) const {
        std::size_t k = 0;
        while (k + 2 < m_cuts.size() && x >= m_cuts[k + 1]) {
            ++k;
        }
        return k;
    }
    Quad inBranch(Quad x, std::size_t k) const {
        return (x - m_cuts[k]) / (m_cuts[k + 1] - m_cuts[k]);
    }
    // μ([x, 1]) when above, else μ([0, x]).
    Quad part(Quad x, bool above) const {
        Quad sum = 0;
        for (Quad scale = 1; scale > 0 && !(sum > 0 && scale < sum * Quad(1e-36));) {
            if (x >= 1 || x <= 0) {
                return (x >= 1) == above ? sum : sum + scale;
            }
            const std::size_t k = branchOf(x);
            for (std::size_t i = above ? k + 1 : 0; i < (above ? m_weights.size() : k); ++i) {
                sum += scale * m_weights[i];
            }
            scale *= m_weights[k];
            x = inBranch(x, k);
        }
        return sum;
    }

    std::vector<Quad> m_cuts;
    std::vector<Quad> m_weights;
};

void matchesQuadReference(const std::vector<double>& b, const std::vector<double>& w,
                          std::uint64_t n) {
    const Cascade cascade(b, w);
    const QuadMeasure reference(b, w);
    const std::vector<double> masses = allBins(cascade, n);
    for (std::uint64_t j = 0; j < n; ++j) {
        const double exact = static_cast<double>(reference.mass(j, n));
        ASSERT_NEAR(masses[j], exact, 1e-12 * exact) << "bin " << j;
    }
}

// Bins of a large N where faults would show: the first and the last, those around the ends
// of the branches and of their branches, and some drawn at random; each in a window of three
// against the quad reference, and alone the same to the bit as in the window.
void sampledBins(const std::vector<double>& b, const std::vector<double>& w, std::uint64_t n,
                 double tolerance) {
    const Cascade cascade(b, w);
    const QuadMeasure reference(b, w);
    std::vector<double> cuts{0.0};
    cuts.insert(cuts.end(), b.begin(), b.end());
    cuts.push_back(1.0);
    std::vector<std::uint64_t> centres{1, n - 2};
    const auto binAt = [n](long double x) {
        return static_cast<std::uint64_t>(x * static_cast<long double>(n));
    };
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        for (std::size_t k = 1; k + 1 < cuts.size(); ++k) {
            centres.push_back(binAt(cuts[k]));
            centres.push_back(
                binAt(cuts[i] + (cuts[i + 1] - static_cast<long double>(cuts[i])) * cuts[k]));
        }
    }
    std::mt19937_64 engine(n);
    std::uniform_int_distribution<std::uint64_t> anyBin(1, n - 2);
    for (int i = 0; i < 6; ++i) {
        centres.push_back(anyBin(engine));
    }
    for (const std::uint64_t centre : centres) {
        const std::uint64_t first = std::clamp<std::uint64_t>(centre, 1, n - 2) - 1;
        std::array<double, 3> window{};
        cascade.binMasses(n, first, window);
        for (std::uint64_t j = first; j < first + 3; ++j) {
            const auto exact = static_cast<double>(reference.mass(j, n));
            ASSERT_NEAR(window[j - first], exact, tolerance * exact) << "bin " << j;
        }
        double alone = -1.0;
        cascade.binMasses(n, first + 1, {&alone, 1});
        ASSERT_EQ(alone, window[1]) << "bin " << first + 1;
    }
}

// What the README's NumPy example does: the masses of 2^20 bins, summed into boxes of 2^-j for
// j = 10 .. 20; the slope of log2 sum mu^q against j estimates beta(q) = -tau(q).
void boxSumSlopes(const std::vector<double>& b, const std::vector<double>& w,
                  const std::vector<double>& qs) {
    const MultifractalSolver exact(b, w);
    std::vector<double> boxes = allBins(Cascade(b, w), std::uint64_t{1} << 20);
    std::vector<std::vector<double>> sums(qs.size());
    for (int j = 20; j >= 10; --j) {
        for (std::size_t k = 0; k < qs.size(); ++k) {
            double sum = 0.0;
            for (const double m : boxes) {
                sum += std::pow(m, qs[k]);
            }
            sums[k].insert(sums[k].begin(), std::log2(sum));
        }
        for (std::size_t i = 0; i < boxes.size() / 2; ++i) {
            boxes[i] = boxes[2 * i] + boxes[2 * i + 1];
        }
        boxes.resize(boxes.size() / 2);
    }
    for (std::size_t k = 0; k < qs.size(); ++k) {
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (int j = 10; j <= 20; ++j) {
            const double y = sums[k][static_cast<std::size_t>(j - 10)];
            sx += j, sy += y, sxx += j * j, sxy += j * y;
        }
        const double slope = (11 * sxy - sx * sy) / (11 * sxx - sx * sx);
        EXPECT_NEAR(slope, exact.beta(qs[k]), 0.02) << "q " << qs[k];
    }
}

// Weights equal to the branches' lengths make the measure the length itself: every bin 1/N,
// however long or short the branches, and the bins of any ranges the same to the bit.
void lebesgue(const std::vector<double>& b, std::uint64_t n) {
    std::vector<double> lengths;
    for (std::size_t i = 0; i <= b.size(); ++i) {
        lengths.push_back((i == b.size() ? 1.0 : b[i]) - (i == 0 ? 0.0 : b[i - 1]));
    }
    const Cascade cascade(b, lengths);
    const double expected = 1.0 / static_cast<double>(n);
    const std::vector<double> masses = allBins(cascade, n);
    for (std::uint64_t j = 0; j < n; ++j) {
        ASSERT_NEAR(masses[j], expected, 1e-12 * expected) << "bin " << j;
    }
    std::vector<double> pieces(n);
    for (std::uint64_t first = 0, count = 1; first < n; first += count, count = count * 5 % 997) {
        count = std::min(count, n - first);
        cascade.binMasses(n, first, std::span<double>(pieces).subspan(first, count));
    }
    EXPECT_EQ(pieces, masses);
}

// A bin against a figure of a 700-digit computation of the distribution function's
// difference, which takes the runs of a branch in closed form as it goes down digit by digit.
void figure(const std::vector<double>& b, const std::vector<double>& w, std::uint64_t n,
            std::uint64_t j, double expected) {
    double mass = -1.0;
    Cascade(b, w).binMasses(n, j, {&mass, 1});
    EXPECT_NEAR(mass, expected, 1e-12 * expected);
}

void refused(const std::vector<double>& b, const std::vector<double>& w, const std::string& why) {
    try {
        const Cascade accepted(b, w);
        ADD_FAILURE() << "accepted, with " << accepted.branches() << " branches";
    } catch (const std::runtime_error& e) {
        EXPECT_TRUE(dynamic_cast<const WeightError*>(&e) ||
                    dynamic_cast<const BreakPointError*>(&e));
        EXPECT_EQ(e.what(), why);
    }
}

void npyHeaderBytes(std::uint64_t n, std::size_t length) {
    const std::string header = internal::npyHeader(n);
    const std::string dict =
        "{'descr': '<f8', 'fortran_order': False, 'shape': (" + std::to_string(n) + ",), }";
    ASSERT_EQ(header.size(), length);
    EXPECT_EQ(header.substr(0, 8), std::string("\x93NUMPY\x01\0", 8));
    EXPECT_EQ(static_cast<unsigned char>(header[8]) + 256 * static_cast<unsigned char>(header[9]),
              length - 10);
    EXPECT_EQ(header.substr(10, dict.size()), dict);
    EXPECT_EQ(header.find_first_not_of(' ', 10 + dict.size()), length - 1);
    EXPECT_EQ(header.back(), '\n');
}

TEST(Cascade, MeetsTheTable) {
    for (const test::Row& row : test::readTable("core/cascade.tsv")) {
        SCOPED_TRACE(row[0] + " " + row[1] + " / " + row[2]);
        if (row[0] == "npy") {
            npyHeaderBytes(std::stoull(row[1]), std::stoul(row[2]));
            continue;
        }
        const std::vector<double> b = numbers(row[1]);
        if (row[0] == "cellcount") {
            // levels, then the count; "over" for more than the limit
            const Cascade cascade(b, std::vector<double>(b.size() + 1, 1.0));
            const std::uint64_t want =
                row[3] == "over" ? Cascade::kMaxBins + 1 : std::stoull(row[3]);
            EXPECT_EQ(cascade.cellCount(static_cast<unsigned>(std::stoul(row[2]))), want);
            continue;
        }
        if (row[0] == "refuse") {
            refused(b, numbers(row[2]), row[3]);
            continue;
        }
        if (row[0] == "lebesgue") {
            lebesgue(b, std::stoull(row[2]));
            continue;
        }
        if (row[0] == "figure") {
            const std::vector<double> where = numbers(row[3]);
            figure(b, numbers(row[2]), static_cast<std::uint64_t>(where[0]),
                   static_cast<std::uint64_t>(where[1]), std::stod(row[4]));
            continue;
        }
        const Cascade cascade(b, numbers(row[2]));
        if (row[0] == "equal") {
            equalMasses(cascade, std::stoull(row[3]));
        } else if (row[0] == "binomial") {
            binomialMasses(cascade, static_cast<unsigned>(std::stoul(row[3])));
        } else if (row[0] == "sum") {
            sumsToOneInAnyRanges(cascade, std::stoull(row[3]));
        } else if (row[0] == "reference") {
            matchesQuadReference(b, numbers(row[2]), std::stoull(row[3]));
        } else if (row[0] == "sampled") {
            sampledBins(b, numbers(row[2]), std::stoull(row[3]), std::stod(row[4]));
        } else if (row[0] == "slope") {
            boxSumSlopes(b, numbers(row[2]), numbers(row[3]));
        } else {
            ADD_FAILURE() << "unknown kind";
        }
    }
}

TEST(Cascade, RefusesRangesBeyondTheBinsOrCells) {
    const std::vector<double> half{0.5};
    const std::vector<double> even{1, 1};
    const Cascade cascade(half, even);
    double mass = 0.0;
    Cascade::Cell cell;
    EXPECT_THROW(cascade.binMasses(0, 0, {&mass, 0}), InputError);
    EXPECT_THROW(cascade.binMasses(Cascade::kMaxBins + 1, 0, {&mass, 1}), InputError);
    EXPECT_THROW(cascade.binMasses(10, 10, {&mass, 1}), InputError);
    EXPECT_THROW(cascade.levelCells(41, 0, {&cell, 1}), InputError);
    EXPECT_THROW(cascade.levelCells(3, 8, {&cell, 1}), InputError);
}

} // namespace
} // namespace veltrane
