#pragma once

#include <cstddef>
#include <stdexcept>
#include <vector>

namespace veltrane {

// Branch weights that cannot describe a measure: the message names the offending weight and
// its value ("weight 2 (-0.5) must be a positive finite number"), or the counts that differ.
class WeightError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws WeightError unless raw holds one positive finite number for each of the branches.
void checkWeights(const std::vector<double>& raw, std::size_t branches);

// The weights raw_i / Σ raw, one for each of the given number of branches, in branch order;
// they sum to 1 within a few units in the last place. Every raw weight must be a positive
// finite number; any such values are accepted, however large or small, since they are scaled
// by the largest before they are summed. Throws WeightError otherwise, or when raw does not
// hold exactly one weight per branch.
std::vector<double> normalizedWeights(const std::vector<double>& raw, std::size_t branches);

} // namespace veltrane
