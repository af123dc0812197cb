// The cascade's fast ways against the ways that take any measure, on the rows of
// tests/data/core/cascade-paths.tsv: bins that are the cells of a level against the walk and
// split of every bin end, whole blocks of cells against each cell followed down, bit for bit.
#include "CascadeBins.h"
#include "CascadeCells.h"
#include "TestSupport.h"

#include <bit>
#include <gtest/gtest.h>
#include <iomanip>
#include <sstream>
#include <string>
#include <veltrane/cascade.h>

namespace veltrane {
namespace {

// "even:n" is k/n for k = 1 .. n - 1, "ramp:n" 1, 2, .., n; anything else numbers.
std::vector<double> values(const std::string& words, bool breaks) {
    const std::string prefix = breaks ? "even:" : "ramp:";
    if (words.rfind(prefix, 0) != 0) {
        return test::numbers(words);
    }
    const int n = std::stoi(words.substr(prefix.size()));
    std::vector<double> v;
    for (int k = 1; k < (breaks ? n : n + 1); ++k) {
        v.push_back(breaks ? static_cast<double>(k) / n : k);
    }
    return v;
}

struct Range {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
};

std::vector<Range> ranges(const std::string& words, std::uint64_t all) {
    std::vector<Range> found;
    std::istringstream in(words);
    for (std::string word; in >> word;) {
        const std::size_t colon = word.find(':');
        found.push_back(word == "all" ? Range{0, all}
                                      : Range{std::stoull(word.substr(0, colon)),
                                              std::stoull(word.substr(colon + 1))});
    }
    return found;
}

bool sameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

void binsMatchTheWalk(const std::vector<double>& b, const std::vector<double>& w, std::uint64_t n,
                      const std::string& way, const std::string& rangeWords) {
    const Cascade cascade(b, w);
    const CascadeBranches branches(b, cascade.weights());
    const CascadeSplit split(branches);
    EXPECT_EQ(levelOfBins(branches, n).has_value(), way == "cells");
    for (const Range& r : ranges(rangeWords, n)) {
        SCOPED_TRACE("bins " + std::to_string(r.first) + ":" + std::to_string(r.count));
        std::vector<double> fast(r.count, -1.0);
        std::vector<double> walked(r.count, -2.0);
        cascade.binMasses(n, r.first, fast);
        walkedBinMasses(branches, split, n, r.first, walked, {});
        for (std::size_t i = 0; i < r.count; ++i) {
            ASSERT_TRUE(sameBits(fast[i], walked[i]))
                << "bin " << r.first + i << ": " << fast[i] << " against " << walked[i];
        }
    }
}

void cellsMatchFollowed(const std::vector<double>& b, const std::vector<double>& w, unsigned levels,
                        const std::string& way, const std::string& rangeWords) {
    const Cascade cascade(b, w);
    const CascadeBranches branches(b, cascade.weights());
    // Equal weights take no runs: the bins of level 1 are cells just where the lengths are one.
    const CascadeBranches even(b, std::vector<double>(b.size() + 1, 1.0 / double(b.size() + 1)));
    EXPECT_EQ(way == "exact", levelOfBins(even, b.size() + 1).has_value());
    for (const Range& r : ranges(rangeWords, cascade.cellCount(levels))) {
        SCOPED_TRACE("cells " + std::to_string(r.first) + ":" + std::to_string(r.count));
        std::vector<Cascade::Cell> fast(r.count, {-1.0, -1.0, -1.0});
        std::vector<Cascade::Cell> followed(r.count);
        cascade.levelCells(levels, r.first, fast);
        followedCells(branches, levels, r.first, followed);
        for (std::size_t i = 0; i < r.count; ++i) {
            const Cascade::Cell& f = fast[i];
            const Cascade::Cell& g = followed[i];
            ASSERT_TRUE(sameBits(f.left, g.left) && sameBits(f.width, g.width) &&
                        sameBits(f.mass, g.mass))
                << "cell " << r.first + i << ": " << f.left << " " << f.width << " " << f.mass
                << " against " << g.left << " " << g.width << " " << g.mass;
        }
    }
}

// FNV-1a's xor and prime over the 64-bit patterns of the masses, a whole pattern a step, from
// the offset 0x14650fb0739d0383.
std::string bitsHash(const std::vector<double>& masses) {
    std::uint64_t h = 0x14650fb0739d0383;
    for (const double m : masses) {
        h = (h ^ std::bit_cast<std::uint64_t>(m)) * 0x100000001b3;
    }
    std::ostringstream out;
    out << std::hex << std::setw(16) << std::setfill('0') << h;
    return out.str();
}

void walkKeepsItsBits(const std::vector<double>& b, const std::vector<double>& w, std::uint64_t n,
                      const std::string& rangeWord, const std::string& hash) {
    const Cascade cascade(b, w);
    const CascadeBranches branches(b, cascade.weights());
    const CascadeSplit split(branches);
    const Range r = ranges(rangeWord, n).at(0);
    std::vector<double> whole(r.count, -1.0);
    walkedBinMasses(branches, split, n, r.first, whole, {});
    EXPECT_EQ(bitsHash(whole), hash);
    // The same bins in two calls, the first a third of them: each bin depends on N and j alone.
    std::vector<double> parts(r.count, -2.0);
    const std::size_t cut = r.count / 3;
    walkedBinMasses(branches, split, n, r.first, std::span(parts).first(cut), {});
    walkedBinMasses(branches, split, n, r.first + cut, std::span(parts).subspan(cut), {});
    EXPECT_EQ(bitsHash(parts), hash);
}

TEST(Cascade, FastWaysMatchTheGeneralOnes) {
    for (const test::Row& row : test::readTable("core/cascade-paths.tsv")) {
        SCOPED_TRACE(row[0] + " " + row[1] + " / " + row[2] + " / " + row[3]);
        const std::vector<double> b = values(row[1], true);
        const std::vector<double> w = values(row[2], false);
        if (row[0] == "bins") {
            binsMatchTheWalk(b, w, std::stoull(row[3]), row[4], row[5]);
        } else if (row[0] == "bits") {
            walkKeepsItsBits(b, w, std::stoull(row[3]), row[4], row[5]);
        } else if (row[0] == "cells") {
            cellsMatchFollowed(b, w, static_cast<unsigned>(std::stoul(row[3])), row[4], row[5]);
        } else {
            ADD_FAILURE() << "unknown kind";
        }
    }
}

} // namespace
} // namespace veltrane
