#pragma once

// The partition sums Z_q(N) = Σ_k μ([k/N, (k+1)/N])^q of a cascade's measure at finite
// resolution, exactly as a box-counting estimator would form them from the bins.
#include <cstdint>
#include <limits>
#include <span>
#include <vector>
#include <veltrane/cascade.h>
#include <veltrane/export.h>
#include <veltrane/run.h>

namespace veltrane {

// A sum of positive terms held as (sum + carry) · e^shift, so that sums far beyond the range of
// doubles (μ^q for q = -50 and masses of 1e-200) neither overflow nor underflow: sum and carry
// (Neumaier's compensation of the rounding of sum) lie within about [0, count of terms], shift
// is the natural log of the largest term seen. An empty sum has shift -infinity.
struct ScaledSum {
    double shift = -std::numeric_limits<double>::infinity();
    double sum = 0.0;
    double carry = 0.0;
};

// The natural log of the sum: shift + ln(sum + carry); -infinity for an empty sum.
VELTRANE_API double logOf(const ScaledSum& sum);

// The bins of one N that one block of the sums holds: each block is summed on its own, from
// its first bin, and the blocks of one N are added in order, so that Z_q(N) has the same bits on
// any number of threads, and on any machines that hand on the blocks' sums in order.
inline constexpr std::uint64_t kPartitionBlock = std::uint64_t{1} << 20;

// The number of blocks of N bins: ceil(N / kPartitionBlock).
VELTRANE_API std::uint64_t partitionBlocks(std::uint64_t bins);

// The sums Σ μ_k^q over the bins of blocks firstBlock .. firstBlock + blockCount - 1 of N = bins,
// each on its own: blockCount rows of q.size() sums, row-major, over the threads of control. A
// block costs one logarithm a bin, shared by every q; evenly spaced q take each power from the
// one before times a common factor, an exponential a bin for each 16 of them, other q one
// exponential a bin each (about 0.05 µs a bin for 41 q, beside 0.15 µs for the mass). Throws
// InputError for N outside [1, Cascade::kMaxBins], blocks beyond N or a q that is not finite;
// RuntimeError (overflow) where a mass underflowed to 0 and some q ≤ 0 would raise it to a
// power beyond the doubles (or count it, at q = 0, as a bin of no mass), or where q ln μ itself
// overflows; Cancelled as Cascade::binMasses does.
VELTRANE_API std::vector<ScaledSum> partitionBlockSums(const Cascade& cascade, std::uint64_t bins,
                                                       std::uint64_t firstBlock,
                                                       std::uint64_t blockCount,
                                                       std::span<const double> q,
                                                       const RunControl& control = {});

// Adds blocks' sums into total, one block of total.size() sums after the other, in order:
// the one way blocks are combined, here and in partitionSums.
VELTRANE_API void foldBlockSums(std::span<ScaledSum> total, std::span<const ScaledSum> blocks);

// ln Z_q(N) at each N (sorted, ascending) and q (as given), and the apparent exponents between
// consecutive N, τ_{N1,N2}(q) = -(ln Z_q(N2) - ln Z_q(N1)) / (ln N2 - ln N1): what a
// box-counting estimator finds from those two resolutions, tending to the partition-function
// exponent τ(q) = (q - 1) D_q as N grows.
struct PartitionSums {
    std::vector<std::uint64_t> bins;
    std::vector<double> q;
    std::vector<double> logZ;        // bins.size() rows of q.size(), row-major
    std::vector<double> tauApparent; // bins.size() - 1 rows of q.size(): row i is N_i to N_i+1
};

// Z_q(N) for every N in bins (each 1 ≤ N ≤ Cascade::kMaxBins, any N, in any order, none twice)
// and every finite q, from the bins a block at a time (memory: a few blocks of bins a thread,
// whatever N), with the same bits on any number of threads. Each ln Z_q(N) is within about
// 2^-52 max_k |q ln μ_k| plus the bins' own error times |q| of its true value for the core's
// bins. Checked before it is returned (partitionResult). Throws InputError for an empty list or
// a repeated N, and what partitionBlockSums throws.
VELTRANE_API PartitionSums partitionSums(const Cascade& cascade,
                                         std::span<const std::uint64_t> bins,
                                         std::span<const double> q, const RunControl& control = {});

// The result from ln Z computed elsewhere (the blocks' sums folded in order on other machines),
// bins ascending and distinct, logZ bins.size() rows of q.size(): checked against what the
// mathematics guarantees, then with its apparent exponents. Z_0(N) is the count N exactly
// (ln Z_0 = ln N to the bit), Z_1(N) = 1 within 1e-11, ln Z_q finite, not rising with q and
// convex in q, and above (1 - q) ln N for q outside [0, 1], below it inside, within the
// rounding of the masses; anything else throws RuntimeError (internal), naming the bound.
VELTRANE_API PartitionSums partitionResult(std::vector<std::uint64_t> bins, std::vector<double> q,
                                           std::vector<double> logZ);

class RandomCascade;
class RandomModel;

// The sums of a realization of a random cascade, as partitionBlockSums and partitionSums form
// them from Cascade's bins, from RandomCascade::binMasses at its default levels: the measure of
// N = b^J bins of a canonical law is the cascade stopped at level J, whose level-J cells are
// products of J weights, so that E Z_q(b^J) = (E Σ W_i^q)^J. The bins of one block are
// computed on the thread that sums it. Bins of mass 0 of a two-valued law with v = 0 are left
// out; the checks of a canonical realization take its own mass Z_1 and count Z_0, and do not
// ask Z_q to fall with q (its bins may exceed 1).
VELTRANE_API std::vector<ScaledSum> partitionBlockSums(const RandomCascade& cascade,
                                                       std::uint64_t bins, std::uint64_t firstBlock,
                                                       std::uint64_t blockCount,
                                                       std::span<const double> q,
                                                       const RunControl& control = {});
VELTRANE_API PartitionSums partitionSums(const RandomCascade& cascade,
                                         std::span<const std::uint64_t> bins,
                                         std::span<const double> q, const RunControl& control = {});

// ln Z_q(N) of the realizations r = first .. first + count - 1 of seed (RandomCascade(model,
// seed, r)): count rows of bins.size() × q.size() values (bins in the order given), each
// realization's as partitionSums gives and checks it, computed one realization a thread over
// the threads of control, so that no realization's bins are kept and the bits do not depend
// on the threads. control.done counts the realizations finished. Throws InputError for
// realizations numbered beyond 2^64 - 1 or more than 2^32 values, and as partitionSums does.
VELTRANE_API std::vector<double> ensembleLogSums(const RandomModel& model, std::uint64_t seed,
                                                 std::uint64_t first, std::uint64_t count,
                                                 std::span<const std::uint64_t> bins,
                                                 std::span<const double> q,
                                                 const RunControl& control = {});

} // namespace veltrane
