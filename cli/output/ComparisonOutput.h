#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <vector>
#include <veltrane/classic/Module1.h>
#include <veltrane/classic/Outcome.h>
#include <veltrane/exact.h>

namespace veltrane::cli {

// A point stored by a classic analysis beside the exact values at the same λ.
struct ComparedPoint {
    int index = 0;
    float lyapunov = 0.0F;
    float entropy = 0.0F;
    float dimension = 0.0F;
    double exactEntropy = 0.0;
    double exactDimension = 0.0;
    double entropyDifference() const { return exactEntropy - entropy; }
    double dimensionDifference() const { return exactDimension - dimension; }
};

// The difference of largest magnitude, with its sign, and the index of its point.
struct LargestDifference {
    double value = 0.0;
    int index = 0;
};

struct Comparison {
    std::vector<float> breakPoints; // as the classic analysis read them
    std::vector<float> exponents;   // the classic analysis's single exponents
    std::vector<double> exactExponents;
    std::vector<ComparedPoint> points;
    std::optional<LargestDifference> largestEntropy; // empty when no point was stored
    std::optional<LargestDifference> largestDimension;
};

// CSV with the header
// "index,lyapunov,entropy,dimension,exact_entropy,exact_dimension,entropy_difference,
// dimension_difference", then a final line "# largest entropy difference: V at index J;
// largest dimension difference: V at index J" (or "# no stored points").
void writeComparisonCsv(const Comparison& comparison, std::ostream& out);

// The comparison as a JSON object: the classic analysis's break points and exponents, the
// exact exponents, the points with exactEntropy, exactDimension, entropyDifference and
// dimensionDifference, and largestEntropyDifference / largestDimensionDifference objects
// {"value":V,"index":J} (null when no point was stored).
void writeComparisonJson(const Comparison& comparison, std::ostream& out);

} // namespace veltrane::cli
