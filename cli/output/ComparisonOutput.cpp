#include "ComparisonOutput.h"

#include "Json.h"

#include <ostream>
#include <string>
#include <veltrane/text.h>

namespace veltrane::cli {
using namespace veltrane::classic;

namespace {

void writeLargest(const std::optional<LargestDifference>& largest, std::ostream& out) {
    if (!largest) {
        out << "null";
        return;
    }
    out << "{\"value\":" << jsonNumber(largest->value) << ",\"index\":" << largest->index << '}';
}

} // namespace

void writeComparisonCsv(const Comparison& comparison, std::ostream& out) {
    out << "index,lyapunov,entropy,dimension,exact_entropy,exact_dimension,entropy_difference,"
           "dimension_difference\n";
    for (const ComparedPoint& p : comparison.points) {
        out << p.index << ',' << shortest(p.lyapunov) << ',' << shortest(p.entropy) << ','
            << shortest(p.dimension) << ',' << shortest(p.exactEntropy) << ','
            << shortest(p.exactDimension) << ',' << shortest(p.entropyDifference()) << ','
            << shortest(p.dimensionDifference()) << '\n';
    }
    if (!comparison.largestEntropy || !comparison.largestDimension) {
        out << "# no stored points\n";
        return;
    }
    out << "# largest entropy difference: " << shortest(comparison.largestEntropy->value)
        << " at index " << comparison.largestEntropy->index
        << "; largest dimension difference: " << shortest(comparison.largestDimension->value)
        << " at index " << comparison.largestDimension->index << '\n';
}

void writeComparisonJson(const Comparison& comparison, std::ostream& out) {
    out << "{\"breakPoints\":";
    writeJsonList(comparison.breakPoints, out);
    out << ",\"exponents\":";
    writeJsonList(comparison.exponents, out);
    out << ",\"exactExponents\":";
    writeJsonList(comparison.exactExponents, out);
    out << ",\"points\":[";
    bool first = true;
    for (const ComparedPoint& p : comparison.points) {
        out << (first ? "" : ",") << "\n{\"index\":" << p.index
            << ",\"lyapunov\":" << jsonNumber(p.lyapunov)
            << ",\"entropy\":" << jsonNumber(p.entropy)
            << ",\"dimension\":" << jsonNumber(p.dimension)
            << ",\"exactEntropy\":" << jsonNumber(p.exactEntropy)
            << ",\"exactDimension\":" << jsonNumber(p.exactDimension)
            << ",\"entropyDifference\":" << jsonNumber(p.entropyDifference())
            << ",\"dimensionDifference\":" << jsonNumber(p.dimensionDifference()) << '}';
        first = false;
    }
    out << "],\n\"largestEntropyDifference\":";
    writeLargest(comparison.largestEntropy, out);
    out << ",\"largestDimensionDifference\":";
    writeLargest(comparison.largestDimension, out);
    out << "}\n";
}

} // namespace veltrane::cli
