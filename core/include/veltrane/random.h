#pragma once

// Random multiplicative cascades: the laws of their weights, their expected multifractal
// spectra, and realizations that are reproducible bit for bit at any size.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include <veltrane/exponents.h>
#include <veltrane/export.h>
#include <veltrane/run.h>

namespace veltrane {

// The law of the weights a cell hands its children. Every cell of every level draws its
// children's weights independently of every other cell, from this one law.
//
//   Generators   a finite list of generators, each break points 0 < B_1 < ... < B_k < 1 and one
//                positive weight a branch (normalized to sum 1), as Cascade takes them; each
//                cell takes generator k with probability π_k (normalized to sum 1) and is cut
//                and weighted as that generator says. Conservative. Expected τ solves
//                Σ_k π_k Σ_i p_{k,i}^q ℓ_{k,i}^(-τ) = 1.
//   Permutation  b-adic, the b children of a cell take a fixed weight vector (normalized to sum
//                1) in a uniformly random order. Conservative; E Σ W_i^q = Σ w_i^q.
//   Dirichlet    b-adic, (W_1, ..., W_b) ~ Dirichlet(a_1, ..., a_b), a_i ≥ 1e-300; b = 2 with
//                a_1 = a_2 = a is the symmetric Beta(a, a) split W, 1 - W. Conservative;
//                E W_i^q = Γ(a_i + q) Γ(A) / (Γ(a_i) Γ(A + q)), A = Σ a_j, finite for q > -a_i.
//   LogNormal    b-adic canonical, W_i = b^-1 exp(σ N_i - σ²/2) with N_i independent standard
//                normals, so E Σ W_i = 1; τ(q) = q - 1 - σ² (q² - q) / (2 ln b).
//   TwoValued    b-adic canonical (the binomial law; the β-model when v = 0): each W_i
//                independently u with probability p and v otherwise, u > v ≥ 0, with
//                b (p u + (1 - p) v) = 1, so v is given by b, p and u. Cells of mass 0 do not
//                count in the partition sums: E Σ W_i^q = b (p u^q + (1 - p) v^q [v > 0]).
//
// Conservative laws have weights that sum to 1 in every cell, so every level of a realization
// has total mass 1 exactly (within rounding); canonical laws have E Σ W_i = 1, and a
// realization is the cascade stopped at a level J, uniform within its level-J cells.
class VELTRANE_API RandomModel {
public:
    enum class Kind { Generators, Permutation, Dirichlet, LogNormal, TwoValued };

    struct Generator {
        std::vector<double> breakPoints;
        std::vector<double> weights;
    };

    // Each throws InputError (or BreakPointError / WeightError for a generator) for parameters
    // outside the ranges above, and for a canonical law that is degenerate: a cascade whose
    // limit is 0 almost surely, E Σ W_i ln W_i ≥ 0 (log-normal: σ² ≥ 2 ln b), said so.
    // At most kMaxBase children a cell, at most kMaxGenerators generators.
    static RandomModel generators(std::span<const Generator> generators,
                                  std::span<const double> probabilities);
    static RandomModel permutation(std::span<const double> weights);
    static RandomModel dirichlet(std::span<const double> alphas);
    static RandomModel beta(double a); // Dirichlet(a, a)
    static RandomModel logNormal(unsigned base, double sigma2);
    static RandomModel twoValued(unsigned base, double p, double u);

    // The command line's form: NAME:KEY=VALUE,KEY=VALUE with lists separated by '/':
    //   lognormal:b=2,sigma2=0.2     beta:a=2          dirichlet:a=1/2/3
    //   permutation:w=0.2/0.3/0.5    twovalued:b=2,p=0.5,u=0.7
    // Generator lists are read from text (readGenerators). Throws InputError naming what is
    // wrong.
    static RandomModel parse(std::string_view text);
    // A generator list as text: one generator a line, "PROBABILITY | BREAKS | WEIGHTS" (the
    // breaks may be empty for a single branch), '#' starts a comment. Throws InputError naming
    // the line.
    static RandomModel readGenerators(std::string_view text);

    static constexpr unsigned kMaxBase = 64;
    static constexpr std::size_t kMaxGenerators = 1024;

    Kind kind() const;
    bool conservative() const;
    // The number of children of every cell, and every child 1/b long: the b-adic laws. 0 for
    // a generator list, whose cells split as their generator says.
    unsigned base() const;
    // The parameters as parse reads them back (generator lists as "generators:K"), with each
    // number written so that it reads back to the same double.
    std::string describe() const;

    // The law's data, as normalized: for Generators, the generators (weights normalized) and π;
    // for Permutation the weights; for Dirichlet the a_i; for LogNormal σ² (values()[0]); for
    // TwoValued p, u, v.
    const std::vector<Generator>& generatorList() const;
    const std::vector<double>& probabilities() const;
    const std::vector<double>& values() const;

    struct Data;
    // The law's data for the core's own use; its layout is not part of the API.
    const Data& data() const;

private:
    explicit RandomModel(std::shared_ptr<const Data> data);
    std::shared_ptr<const Data> m_data;
};

// The expected multifractal spectrum of a law, with τ in the partition-function convention
// (exponents.h): E Σ_I μ(I)^q ≈ |I|^τ(q) over the level-j cells, exactly (E Σ W_i^q)^j for the
// b-adic laws, so τ(q) = -log_b E Σ W_i^q. Immutable.
class VELTRANE_API RandomSpectrum {
public:
    explicit RandomSpectrum(const RandomModel& model);

    // The orders where E Σ W_i^q is finite: q > qMin() (-infinity but for Dirichlet, -min a_i).
    double qMin() const;

    // τ(q) for qMin() < q finite; throws InputError otherwise.
    double tau(double q) const;
    // Every convention at q (exponents.h), α = τ'(q) from the derivative of the moment (no
    // finite differences), f = q α - τ, which is negative beyond q*- and q*+.
    Exponents exponents(double q) const;
    // The exponents at each of qs (ascending), checked: τ(0) = -1 and τ(1) = 0 within 1e-12,
    // τ concave (α not rising), D_q not rising, α ≥ 0; throws RuntimeError (Internal) otherwise.
    std::vector<Exponents> exponentsMany(std::span<const double> qs) const;

    // Where f(α(q)) = 0: q*- < 0 < 1 < q*+; -infinity / +infinity where f stays positive (as
    // for conservative laws with α bounded and f > 0 at its ends). Beyond them a single
    // realization's exponents are linear in q.
    double qStarMinus() const;
    double qStarPlus() const;
    // For canonical laws, the q > 1 where τ(q) = 0 again: E Z^q of the total mass is finite
    // exactly for q < q_crit. +infinity for conservative laws, and where τ stays positive.
    double qCrit() const;

private:
    struct State;
    std::shared_ptr<const State> m_state;
};

// One realization of a random cascade: every cell's weights are a function of the seed, the
// realization's number and the cell's address (its level and its index within the level)
// alone, drawn with the counter-based generator Philox-4x64 (Random123), so that any range of
// bins is computed without the rest, with the same bits whatever the ranges, threads or order.
// Realizations 0, 1, 2, ... of one seed are independent; so are those of different seeds.
// Uniform deviates take the top 53 bits of a word, normal ones a ziggurat of 128 layers, Γ
// deviates (for Dirichlet) Marsaglia and Tsang's method: the same build gives the same bits on
// any machine. The log-normal and Dirichlet laws call the C library's exp and log (in the
// ziggurat's tables too), so another C library, or a compiler that fuses multiplies and adds
// for another processor, may change their weights' last bits, and where an acceptance test
// falls the other way, the deviates that follow; the permutation, two-valued and generator
// laws call no library function.
// Immutable; its functions may run on any number of threads at once.
class VELTRANE_API RandomCascade {
public:
    RandomCascade(RandomModel model, std::uint64_t seed, std::uint64_t realization = 0);

    const RandomModel& model() const;
    std::uint64_t seed() const;
    std::uint64_t realization() const;

    // The level the measure of N = bins bins is stopped at: levels when it is not 0; else, for
    // canonical laws, the least J with b^J ≥ N (the cells are then no wider than the bins),
    // and for conservative ones none (the largest unsigned).
    unsigned stopLevel(std::uint64_t bins, unsigned levels = 0) const;
    // Throws InputError for a stop below the deepest level of 2^40 cells of a b-adic law (a
    // canonical law's whole cells above its stop are sums of all their cells there), or below
    // 65536 levels of a generator list.
    void checkLevels(unsigned levels) const;

    // The masses of N = bins equal bins, j = first .. first + out.size() - 1 (1 ≤ N ≤
    // Cascade::kMaxBins), of the measure stopped at stopLevel(bins, levels), uniform within its
    // cells there. Bins at N = b^J of a b-adic law are the level-J cells, each the product of
    // its J weights taken from the top (for the log-normal law, b^-J e^L with L the sum of
    // the J exponents σ N_i - σ²/2 carried to 106 bits: within some tens of units of 2^-53 of
    // the exact product, as a product of J rounded weights would be). Other bins are sums of
    // positive terms as Cascade::binMasses forms them: the cells whole in the bin, and the
    // cells holding its two ends followed down (the ends exact for b-adic laws, to 106 bits
    // for generator lists) until each is below 2^-50 of the bin, then shared in proportion to
    // length, so within 2^-49 of the bin. A list of
    // one generator gives Cascade::binMasses of that generator, bit for bit. Runs on the
    // calling thread, as Cascade::binMasses does (callers share ranges out over threads);
    // control is looked at for cancellation only. Throws InputError as Cascade::binMasses does
    // and as checkLevels does; RuntimeError (overflow) for a bin whose ends would have to be
    // followed deeper than 65536 levels (or, for b-adic laws, than cells are numbered within
    // 128 bits), which only generator lists that leave almost every cell whole come near;
    // Cancelled through control.
    void binMasses(std::uint64_t bins, std::uint64_t first, std::span<double> out,
                   unsigned levels = 0, const RunControl& control = {}) const;

    struct State;
    // The realization's data for the core's own use; its layout is not part of the API.
    const State& state() const;

private:
    std::shared_ptr<const State> m_state;
};

} // namespace veltrane
