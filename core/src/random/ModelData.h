#pragma once

// What a RandomModel holds, shared by the expected spectrum and the realizations.
#include <span>
#include <vector>
#include <veltrane/random.h>

namespace veltrane {

struct RandomModel::Data {
    Kind kind = Kind::Permutation;
    // Children of every cell for the b-adic laws; 0 for a generator list.
    unsigned base = 0;
    // Generators: the generators, weights normalized to sum 1, and π normalized to sum 1.
    std::vector<Generator> generators;
    std::vector<double> probabilities;
    // Permutation: the weights, normalized; Dirichlet: a_i; LogNormal: σ²; TwoValued: p, u, v.
    std::vector<double> values;
    // The parameters as given, before normalizing, which describe writes so that a law read
    // back from its description normalizes to the same bits: Permutation the raw weights,
    // Dirichlet a_i, LogNormal σ², TwoValued p and u, Generators the raw π.
    std::vector<double> given;
    // Generators: each generator as given, its weights not normalized, so that a list of one
    // generator makes the very Cascade its break points and weights make.
    std::vector<Generator> givenGenerators;
};

namespace random {

// Probabilities π_k, positive and finite, normalized to sum 1 as weights are; InputError names
// the one that is not.
std::vector<double> normalizedProbabilities(std::span<const double> raw);
// A generator checked as Cascade takes it (no break points: one branch, the whole cell), its
// weights normalized; the errors keep their type and name generator index + 1.
RandomModel::Generator checkedGenerator(const RandomModel::Generator& raw, std::size_t index);

} // namespace random

} // namespace veltrane
