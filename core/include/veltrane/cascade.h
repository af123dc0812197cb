#pragma once

// The self-similar measure of a map's branches as data: the masses of equal bins or of the
// cells of a level.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>
#include <veltrane/export.h>
#include <veltrane/run.h>

namespace veltrane {

// The self-similar measure μ of a map with break points 0 < B_1 < ... < B_k < 1: the n = k + 1
// branches I_i = [B_{i-1}, B_i] (B_0 = 0, B_n = 1) carry weights p_i summing to 1, and every
// level-m cell I_{i_1...i_m} (I_{i_1} cut in the proportions of the branch lengths, m times,
// each branch increasing) has mass p_{i_1} ... p_{i_m}. Immutable; its functions may run on
// any number of threads at once.
class VELTRANE_API Cascade {
public:
    // The weights are taken as raw positive numbers and divided by their sum. Throws
    // BreakPointError for bad break points and WeightError for a weight that is not a positive
    // finite number or for a count other than one per branch.
    Cascade(std::span<const double> breakPoints, std::span<const double> weights);

    std::size_t branches() const;
    // The normalized weights p_i, in branch order.
    const std::vector<double>& weights() const;

    // The most bins, and the most cells of a level: 2^40, which the command line, its help and
    // the Python package quote. Bin ends and cell ends are held in bins as sums of two doubles
    // (106 bits), which places a bin end within about N 2^-100 of a bin (2^-60 at 2^40), and
    // are counted exactly only below 2^52. A misplaced end moves the mass of the measure within
    // that distance of it from one bin to the next, a part that grows with N; at 2^40 sampled
    // bins are still within 6e-15 (below), and 2^40 leaves a margin below 2^52.
    static constexpr std::uint64_t kMaxBins = std::uint64_t{1} << 40;
    static_assert((kMaxBins & (kMaxBins - 1)) == 0, "messages quote the limit as a power of two");

    // Throws InputError unless 1 ≤ bins ≤ kMaxBins and bins first .. first + count - 1 exist.
    static void checkBins(std::uint64_t bins, std::uint64_t first, std::uint64_t count);
    // The number of cells of level levels, n^levels for n branches, exact up to kMaxBins;
    // kMaxBins + 1 for any level with more, so that the count never wraps around.
    std::uint64_t cellCount(unsigned levels) const;
    // Throws InputError unless level levels has at most kMaxBins cells and cells first ..
    // first + count - 1 exist.
    void checkCells(unsigned levels, std::uint64_t first, std::uint64_t count) const;

    // The masses μ([j/N, (j+1)/N]) of N = bins equal bins (1 ≤ N ≤ kMaxBins), for
    // j = first .. first + out.size() - 1, into out. Each is a sum of positive terms,
    // never a difference of the distribution function, so that it keeps its relative precision
    // however small it is beside the total: the cells that lie whole in the bin, and the parts
    // of the cells around its two ends, split until what is left undivided is below 2^-50 of
    // the smaller bin beside the end. A branch within 1/64 of the whole length or weight can
    // hold a bin end for millions of levels or for ever; its runs are taken in closed form,
    // and the cells it passes down end by end are found from where it starts, so that any
    // break points the constructor takes, down to the smallest double, cost about the same per
    // bin as any other. So do bins narrower than a short branch beside such a long one: the
    // long branch's cells pass a few bin ends to the short one at every level, and its part
    // holding 64 ends or more is taken as one such run, the ends that leave it at each level
    // found by bisection, some microseconds a bin wherever it lies. Against a quad-precision
    // reference and 700-digit figures the masses agree within a few units of 1e-15 for the measures
    // tried, weights as uneven as 1e-4 beside 0.81 or 1e-300 beside 1 included; the rounding of the
    // normalized weights to doubles is part of that. The error grows with the levels down to a bin,
    // a rounding of a product of weights each, so slowly with N: on bins sampled against the quad
    // reference at N = 2^34, 2^36 and 2^40, within 6e-15. Runs of a branch within 1/64 of the
    // whole, taken in closed form, err by up to about 2e-13 at any N. Masses below the normal range
    // of doubles lose digits. A bin's value depends only on N and j, not on the range it is asked
    // in, so blocks of one N may be computed on any threads and put side by side. The time per bin
    // follows the number of levels that splitting takes: about 36 for three branches of weights
    // near 1/3; whole cells of many branches side by side are added by blocks of 2^s branches.
    // Where the bins are the cells of a level (n = 2^s branches of one length, none taking long
    // runs, N = n^J), each is formed as the product of its J weights, with the same bits, in a
    // few nanoseconds.
    // Throws InputError for N outside [1, kMaxBins] or a range beyond N. A run cancelled through
    // control throws Cancelled, with out filled in part.
    void binMasses(std::uint64_t bins, std::uint64_t first, std::span<double> out,
                   const RunControl& control = {}) const;

    // The distribution function F(x) = μ([0, x]) at each x of points, into out (as long as
    // points), over the threads of control, the same bits on any number. Each value is a sum
    // of positive terms: the cells whole left of x, and the cell holding x split until what is
    // left undivided is below 2^-64 of either side, then shared in proportion to length. So
    // F(x) keeps its relative precision however small it is, x near 0 (down to the smallest
    // double) included: within a few units of 1e-16 of itself while it is a normal double, up to
    // about 2e-13 where a branch within 1/64 of the whole is taken down in closed form. F(0) = 0
    // and F(1) = 1 exactly; between points farther apart than that error, F does not fall.
    // Throws InputError for a point outside [0, 1] or NaN, naming the first (from 1), and for out
    // of another length; a run cancelled through control throws Cancelled, out filled in part.
    void cdf(std::span<const double> points, std::span<double> out,
             const RunControl& control = {}) const;
    // 1 - F(x) = μ([x, 1]), computed as cdf is from the right end, never as a difference: near
    // x = 1 it keeps its relative precision as F does near 0. cdf and survival of a point add up
    // to 1 within rounding.
    void survival(std::span<const double> points, std::span<double> out,
                  const RunControl& control = {}) const;
    // F(j / N) at the ends j = first .. first + out.size() - 1 of N = bins equal bins, the
    // exact rational j / N placed to 106 bits, each computed as cdf computes a point (not summed
    // from the bins), so a value depends only on N and j. F(j / N) - F(i / N) is the sum of the
    // masses of bins i .. j - 1 within rounding. Throws InputError for N outside
    // [1, kMaxBins], an empty out, or an end beyond N.
    void cdfAtBins(std::uint64_t bins, std::uint64_t first, std::span<double> out,
                   const RunControl& control = {}) const;

    struct Cell {
        double left = 0.0; // left end, within half a unit in its last place
        double width = 0.0;
        double mass = 0.0;
    };
    // The level-M cells (M = levels, n^M ≤ kMaxBins) in order of position, numbered from 0,
    // for c = first .. first + out.size() - 1, into out: the left end and the width each the
    // double nearest its true value (carried with 106 bits), within half a unit in its own last
    // place, which for an end far from 0 may exceed the cell's width; the mass the product of M
    // weights within M units of rounding. Throws InputError for n^M > kMaxBins or a range
    // beyond n^M.
    void levelCells(unsigned levels, std::uint64_t first, std::span<Cell> out) const;

private:
    struct Tables;
    std::shared_ptr<const Tables> m_tables;
};

} // namespace veltrane
