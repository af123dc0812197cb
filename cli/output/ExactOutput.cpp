#include "ExactOutput.h"

#include "SpectrumOutput.h"

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
    out << "{\"value\":" << shortest(largest->value) << ",\"index\":" << largest->index << '}';
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
    writeList(comparison.breakPoints, out);
    out << ",\"exponents\":";
    writeList(comparison.exponents, out);
    out << ",\"exactExponents\":";
    writeList(comparison.exactExponents, out);
    out << ",\"points\":[";
    bool first = true;
    for (const ComparedPoint& p : comparison.points) {
        out << (first ? "" : ",") << "\n{\"index\":" << p.index
            << ",\"lyapunov\":" << shortest(p.lyapunov) << ",\"entropy\":" << shortest(p.entropy)
            << ",\"dimension\":" << shortest(p.dimension)
            << ",\"exactEntropy\":" << shortest(p.exactEntropy)
            << ",\"exactDimension\":" << shortest(p.exactDimension)
            << ",\"entropyDifference\":" << shortest(p.entropyDifference())
            << ",\"dimensionDifference\":" << shortest(p.dimensionDifference()) << '}';
        first = false;
    }
    out << "],\n\"largestEntropyDifference\":";
    writeLargest(comparison.largestEntropy, out);
    out << ",\"largestDimensionDifference\":";
    writeLargest(comparison.largestDimension, out);
    out << "}\n";
}

} // namespace veltrane::cli
