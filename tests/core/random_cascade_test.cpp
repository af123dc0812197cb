// Realizations of random cascades: the same bits however a realization is asked for, bins
// that add up as the measure says, the deterministic cascade as the list of one generator, and
// the mean partition sums of many seeded realizations against the closed-form expectations.
#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <numeric>
#include <optional>
#include <random>
#include <veltrane/cascade.h>
#include <veltrane/errors.h>
#include <veltrane/partition.h>
#include <veltrane/random.h>

namespace veltrane {
namespace {

using test::numbers;

RandomModel modelOf(const test::Row& row) {
    if (row[0] == "generators") {
        return RandomModel::readGenerators(row[1]);
    }
    return RandomModel::parse(row[0]);
}

std::vector<std::uint64_t> binsOf(const test::Row& row) {
    std::vector<std::uint64_t> bins;
    for (const double n : numbers(row.back())) {
        bins.push_back(static_cast<std::uint64_t>(n));
    }
    return bins;
}

std::vector<double> masses(const RandomCascade& cascade, std::uint64_t bins, unsigned threads = 1,
                           unsigned levels = 0) {
    std::vector<double> out(static_cast<std::size_t>(bins));
    cascade.binMasses(bins, 0, out, levels, RunControl{threads});
    return out;
}

// The one tolerance of sums over bins: each bin within a few units of its last place, the sum
// compensated or not.
void expectSumNear(double actual, double expected, std::size_t terms) {
    EXPECT_NEAR(actual, expected, 1e-15 * static_cast<double>(terms + 8) * std::abs(expected));
}

TEST(RandomCascade, BitsDoNotDependOnChunksOrThreads) {
    for (const auto& row : test::readTable("core/random-realizations.tsv")) {
        const RandomCascade cascade(modelOf(row), 20261207, 3);
        for (const std::uint64_t n : binsOf(row)) {
            SCOPED_TRACE(row[0] + " N " + std::to_string(n));
            const std::vector<double> whole = masses(cascade, n);
            EXPECT_EQ(masses(cascade, n, 2), whole);
            for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{4097}}) {
                std::vector<double> pieces(whole.size());
                for (std::size_t at = 0; at < pieces.size(); at += chunk) {
                    const std::size_t count = std::min(chunk, pieces.size() - at);
                    cascade.binMasses(n, at, std::span<double>(pieces).subspan(at, count));
                }
                EXPECT_EQ(pieces, whole) << "chunks of " << chunk;
            }
            EXPECT_EQ(masses(RandomCascade(modelOf(row), 20261207, 3), n), whole);
            if (n >= 4) {
                EXPECT_NE(masses(RandomCascade(modelOf(row), 20261208, 3), n), whole);
                EXPECT_NE(masses(RandomCascade(modelOf(row), 20261207, 4), n), whole);
            }
        }
    }
}

TEST(RandomCascade, BinsAddUpToCoarserBins) {
    for (const auto& row : test::readTable("core/random-realizations.tsv")) {
        const RandomModel model = modelOf(row);
        const RandomCascade cascade(model, 7, 0);
        const std::vector<std::uint64_t> bins = binsOf(row);
        for (const std::uint64_t n : bins) {
            SCOPED_TRACE(row[0] + " N " + std::to_string(n));
            const std::vector<double> fine = masses(cascade, n);
            EXPECT_TRUE(std::all_of(fine.begin(), fine.end(),
                                    [](double m) { return m >= 0.0 && std::isfinite(m); }));
            const double total = std::accumulate(fine.begin(), fine.end(), 0.0);
            if (model.conservative()) {
                expectSumNear(total, 1.0, fine.size());
            }
            // A canonical law's measure of N bins is stopped at a level of its own: the bins of
            // one stop are grouped, and all of them stopped at the finest N's level, where the
            // coarse bins hold whole cells far above the stop.
            const unsigned common =
                model.conservative() ? 0 : cascade.stopLevel(*std::ranges::max_element(bins));
            const std::vector<double> atCommon = masses(cascade, n, 1, common);
            for (const std::uint64_t coarse : bins) {
                if (coarse >= n || n % coarse != 0) {
                    continue;
                }
                const bool oneStop = cascade.stopLevel(coarse) == cascade.stopLevel(n);
                const std::vector<double> wide =
                    oneStop ? masses(cascade, coarse) : masses(cascade, coarse, 1, common);
                const std::vector<double>& narrow = oneStop ? fine : atCommon;
                const std::size_t k = static_cast<std::size_t>(n / coarse);
                for (std::size_t i = 0; i < wide.size(); ++i) {
                    const double grouped =
                        std::accumulate(narrow.begin() + i * k, narrow.begin() + (i + 1) * k, 0.0);
                    expectSumNear(grouped, wide[i], k);
                }
            }
        }
    }
}

TEST(RandomCascade, OneGeneratorIsTheDeterministicCascade) {
    const std::vector<double> breaks{0.25, 0.6};
    const std::vector<double> weights{0.5, 0.2, 0.3};
    const RandomModel::Generator generator{breaks, weights};
    const std::vector<double> one{1.0};
    const RandomCascade random(RandomModel::generators({&generator, 1}, one), 99);
    const Cascade cascade(breaks, weights);
    for (const std::uint64_t n : {1, 3, 1000, 4096, 59049}) {
        std::vector<double> expected(n);
        cascade.binMasses(n, 0, expected);
        EXPECT_EQ(masses(random, n), expected) << n;
    }
}

// E Σ_I μ(I)^q over the 2^J or 3^J cells of level J is (E Σ_i W_i^q)^J exactly for b-adic laws,
// canonical ones stopped at level J included. The mean over R seeded realizations must lie
// within 5 of its standard errors: the seeds are fixed, so a wrong law fails every run.
double moment(const RandomModel& model, double q) {
    const auto& v = model.values();
    const double b = model.base();
    switch (model.kind()) {
    case RandomModel::Kind::Permutation:
        return std::accumulate(v.begin(), v.end(), 0.0,
                               [&](double s, double w) { return s + std::pow(w, q); });
    case RandomModel::Kind::Dirichlet: {
        const double a = std::accumulate(v.begin(), v.end(), 0.0);
        double s = 0.0;
        for (const double ai : v) {
            s += std::exp(std::lgamma(ai + q) + std::lgamma(a) - std::lgamma(ai) -
                          std::lgamma(a + q));
        }
        return s;
    }
    case RandomModel::Kind::LogNormal:
        return b * std::pow(b, -q) * std::exp(v[0] * (q * q - q) / 2.0);
    case RandomModel::Kind::TwoValued:
        return b *
               (v[0] * std::pow(v[1], q) + (v[2] > 0.0 ? (1.0 - v[0]) * std::pow(v[2], q) : 0.0));
    case RandomModel::Kind::Generators:
        break;
    }
    ADD_FAILURE() << "no closed form";
    return 0.0;
}

TEST(RandomCascade, MeanPartitionSumsFollowTheLaw) {
    const std::vector<std::string> laws{"permutation:w=0.2/0.3/0.5",  "beta:a=1.5",
                                        "dirichlet:a=1/2/3",          "lognormal:b=2,sigma2=0.2",
                                        "twovalued:b=2,p=0.25,u=1.6", "twovalued:b=2,p=0.625,u=0.8",
                                        "lognormal:b=3,sigma2=0.3"};
    const std::vector<double> q{-0.5, 0.5, 2.0, 3.0};
    constexpr int kRealizations = 400;
    for (const std::string& text : laws) {
        const RandomModel model = RandomModel::parse(text);
        const unsigned levels = model.base() == 2 ? 8 : 5;
        std::uint64_t bins = 1;
        for (unsigned j = 0; j < levels; ++j) {
            bins *= model.base();
        }
        const std::vector<std::uint64_t> n{bins};
        std::vector<double> sum(q.size());
        std::vector<double> squares(q.size());
        for (int r = 0; r < kRealizations; ++r) {
            const PartitionSums sums =
                partitionSums(RandomCascade(model, 2026, static_cast<std::uint64_t>(r)), n, q);
            for (std::size_t j = 0; j < q.size(); ++j) {
                const double z = std::exp(sums.logZ[j]);
                sum[j] += z;
                squares[j] += z * z;
            }
        }
        for (std::size_t j = 0; j < q.size(); ++j) {
            SCOPED_TRACE(text + " q " + std::to_string(q[j]));
            const double mean = sum[j] / kRealizations;
            const double spread = std::sqrt(
                std::max(0.0, squares[j] / kRealizations - mean * mean) / (kRealizations - 1));
            const double expected = std::pow(moment(model, q[j]), levels);
            EXPECT_NEAR(mean, expected, 5.0 * spread + 1e-12 * expected);
        }
    }
}

// Each of the b! orders of a permuted weight vector equally often: over 6000 realizations of
// the first level of three weights, each order within 5 standard deviations of 1000.
TEST(RandomCascade, PermutationsAreUniform) {
    const RandomModel model = RandomModel::parse("permutation:w=1/2/4");
    std::map<std::vector<double>, int> seen;
    constexpr int kRealizations = 6000;
    for (int r = 0; r < kRealizations; ++r) {
        ++seen[masses(RandomCascade(model, 11, static_cast<std::uint64_t>(r)), 3)];
    }
    ASSERT_EQ(seen.size(), 6U);
    const double expected = kRealizations / 6.0;
    for (const auto& [order, count] : seen) {
        EXPECT_NEAR(count, expected, 5.0 * std::sqrt(expected * 5.0 / 6.0));
    }
}

TEST(RandomCascade, EmptyCellsOfTheBetaModelAreLeftOut) {
    // u = 1 / (b p), v = 0: 3/8 of the cells of each level empty on average.
    const RandomModel model = RandomModel::parse("twovalued:b=2,p=0.625,u=0.8");
    ASSERT_EQ(model.values()[2], 0.0);
    const RandomCascade cascade(model, 5);
    const std::vector<double> bins = masses(cascade, 1024);
    const auto occupied = static_cast<double>(
        std::count_if(bins.begin(), bins.end(), [](double m) { return m > 0.0; }));
    const std::vector<std::uint64_t> n{1024};
    const std::vector<double> q{-1.0, 0.0, 1.0};
    const PartitionSums sums = partitionSums(cascade, n, q);
    EXPECT_EQ(sums.logZ[1], std::log(occupied));
    EXPECT_LT(occupied, 1024.0);
    EXPECT_TRUE(std::isfinite(sums.logZ[0]));
}

// Seeded random laws of every family, 2 to 9 children, even to uneven: the bins of N and of
// 3N (or b N) stay non-negative and finite, add up to 1 for conservative laws, the finer bins
// add up to the coarser for them, and two ways of cutting the range give the same bits.
TEST(RandomCascade, RandomLawsKeepTheirBounds) {
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto uneven = [&](double spread) { return std::exp(spread * (unit(rng) - 0.5)); };
    for (int trial = 0; trial < 60; ++trial) {
        const auto b = static_cast<unsigned>(2 + rng() % 8);
        std::vector<double> values(b);
        const double spread = 8.0 * unit(rng);
        for (double& v : values) {
            v = uneven(spread);
        }
        std::optional<RandomModel> law;
        switch (trial % 4) {
        case 0:
            law = RandomModel::permutation(values);
            break;
        case 1:
            law = RandomModel::dirichlet(values);
            break;
        case 2:
            law = RandomModel::logNormal(b, 1.2 * std::log(b) * unit(rng) + 0.01);
            break;
        default: {
            const std::vector<double> breaks{0.05 + 0.4 * unit(rng), 0.55 + 0.4 * unit(rng)};
            const std::vector<double> two{values[0], values[1]};
            const std::vector<RandomModel::Generator> generators{
                {{breaks[0]}, two},
                {breaks, values.size() >= 3
                             ? std::vector<double>(values.begin(), values.begin() + 3)
                             : std::vector<double>{1, 1, 1}}};
            const std::vector<double> pi{unit(rng) + 0.01, unit(rng) + 0.01};
            law = RandomModel::generators(generators, pi);
        }
        }
        const RandomCascade cascade(*law, rng(), trial);
        const std::uint64_t n = 1 + rng() % 300;
        SCOPED_TRACE(law->describe() + " N " + std::to_string(n));
        const std::vector<double> coarse = masses(cascade, n, 2);
        const std::uint64_t k = law->base() > 0 ? law->base() : 3;
        const std::vector<double> fine = masses(cascade, n * k);
        for (const double m : fine) {
            ASSERT_TRUE(m >= 0.0 && std::isfinite(m)) << m;
        }
        std::vector<double> pieces(coarse.size());
        const std::size_t cut = coarse.size() / 3;
        cascade.binMasses(n, 0, std::span<double>(pieces).first(cut));
        cascade.binMasses(n, cut, std::span<double>(pieces).subspan(cut), 0, {2});
        EXPECT_EQ(pieces, coarse);
        if (!law->conservative() || cascade.stopLevel(n) != cascade.stopLevel(n * k)) {
            continue;
        }
        expectSumNear(std::accumulate(fine.begin(), fine.end(), 0.0), 1.0, fine.size());
        for (std::size_t i = 0; i < coarse.size(); ++i) {
            const double grouped =
                std::accumulate(fine.begin() + static_cast<std::ptrdiff_t>(i * k),
                                fine.begin() + static_cast<std::ptrdiff_t>((i + 1) * k), 0.0);
            expectSumNear(grouped, coarse[i], k);
        }
    }
}

// An ensemble's sums, from every level of a realization at once where the N are powers of b,
// are each realization's partitionSums bit for bit, in the order the N are given.
TEST(RandomCascade, EnsembleSumsAreEachRealizationsSums) {
    const std::vector<double> q{-2.0, 0.0, 0.5, 1.0, 3.0};
    const std::vector<std::pair<std::string, std::vector<std::uint64_t>>> cases{
        {"lognormal:b=2,sigma2=0.3", {1024, 1, 2, 64}},
        {"twovalued:b=3,p=0.5,u=0.5", {27, 3, 729}},
        {"twovalued:b=2,p=0.625,u=0.8", {256, 16}},
        {"permutation:w=0.2/0.3/0.5", {9, 10, 81}},
        {"beta:a=2", {4096, 2}}};
    for (const auto& [text, bins] : cases) {
        SCOPED_TRACE(text);
        const RandomModel model = RandomModel::parse(text);
        const std::vector<double> ensemble = ensembleLogSums(model, 77, 5, 6, bins, q, {2});
        for (std::uint64_t r = 0; r < 6; ++r) {
            const PartitionSums one = partitionSums(RandomCascade(model, 77, 5 + r), bins, q);
            for (std::size_t i = 0; i < bins.size(); ++i) {
                const auto at = static_cast<std::size_t>(
                    std::find(one.bins.begin(), one.bins.end(), bins[i]) - one.bins.begin());
                for (std::size_t j = 0; j < q.size(); ++j) {
                    EXPECT_EQ(ensemble[(r * bins.size() + i) * q.size() + j],
                              one.logZ[at * q.size() + j])
                        << "realization " << r << " N " << bins[i] << " q " << q[j];
                }
            }
        }
    }
}

TEST(RandomCascade, RefusesWhatItCannotComputeRightly) {
    const RandomCascade cascade(RandomModel::parse("beta:a=2"), 1);
    std::vector<double> out(2);
    EXPECT_THROW(cascade.binMasses(0, 0, out), InputError);
    EXPECT_THROW(cascade.binMasses(3, 2, out), InputError);
    EXPECT_THROW(cascade.binMasses(Cascade::kMaxBins + 1, 0, out), InputError);
    // A level of more than 2^40 cells: a canonical law stopped there sums them all.
    const RandomCascade canonical(RandomModel::parse("lognormal:b=2,sigma2=0.1"), 1);
    EXPECT_NO_THROW(canonical.binMasses(2, 0, out, 10));
    EXPECT_THROW(canonical.binMasses(2, 0, out, 41), InputError);
    const RandomCascade triadic(RandomModel::parse("lognormal:b=3,sigma2=0.1"), 1);
    EXPECT_THROW(triadic.binMasses(2, 0, out, 26), InputError);
    // Cells that almost never split: a bin end would have to be followed below 65536 levels,
    // where sharing by length would be wrong by far more than the bins' promise.
    const RandomCascade stalling(
        RandomModel::readGenerators("0.9999 | | 1\n0.0001 | 0.5 | 0.7 0.3"), 42, 1);
    EXPECT_THROW(stalling.binMasses(7, 0, out), RuntimeError);
    // Ensembles whose result could not be held, or whose numbers pass 2^64 - 1.
    const std::vector<std::uint64_t> bins{2, 4};
    const std::vector<double> q{0.0, 2.0};
    const RandomModel beta = RandomModel::parse("beta:a=2");
    EXPECT_THROW(ensembleLogSums(beta, 1, 0, std::uint64_t{1} << 62, bins, q), InputError);
    EXPECT_THROW(ensembleLogSums(beta, 1, ~std::uint64_t{0}, 2, bins, q), InputError);
    EXPECT_NO_THROW(ensembleLogSums(beta, 1, ~std::uint64_t{0}, 1, bins, q));
}

// A generator list that leaves nine cells in ten whole: its bin ends are followed hundreds of
// levels down, cells numbered by their path there, and the bins still add up to the coarser
// ones and to 1.
TEST(RandomCascade, RarelySplittingCellsAddUp) {
    const RandomCascade rarely(RandomModel::readGenerators("0.9 | | 1\n0.1 | 0.5 | 0.7 0.3"), 5);
    const std::vector<double> fine = masses(rarely, 3000);
    const std::vector<double> coarse = masses(rarely, 1000);
    expectSumNear(std::accumulate(fine.begin(), fine.end(), 0.0), 1.0, fine.size());
    for (std::size_t i = 0; i < coarse.size(); ++i) {
        expectSumNear(fine[3 * i] + fine[3 * i + 1] + fine[3 * i + 2], coarse[i], 3);
    }
}

} // namespace
} // namespace veltrane
