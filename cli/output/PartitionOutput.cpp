#include "PartitionOutput.h"

#include "Json.h"

#include <ostream>
#include <veltrane/maps.h>
#include <veltrane/text.h>

namespace veltrane::cli {

void writePartitionSums(const PartitionSums& sums, const Measure& measure, bool json,
                        std::ostream& out) {
    if (json) {
        out << "{\"breakPoints\":";
        writeJsonList(measure.breakPoints, out);
        out << ",\"weights\":";
        writeJsonList(normalizedWeights(measure.weights, measure.weights.size()), out);
        out << ",\"rows\":[";
    } else {
        out << "n,q,log_z,tau_apparent\n";
    }
    const std::size_t nq = sums.q.size();
    for (std::size_t i = 0; i < sums.bins.size(); ++i) {
        for (std::size_t j = 0; j < nq; ++j) {
            const double logZ = sums.logZ[i * nq + j];
            const bool first = i == 0;
            const double tau = first ? 0.0 : sums.tauApparent[(i - 1) * nq + j];
            if (json) {
                out << (i + j == 0 ? "" : ",") << "\n{\"n\":" << sums.bins[i]
                    << ",\"q\":" << jsonNumber(sums.q[j]) << ",\"log_z\":" << jsonNumber(logZ)
                    << ",\"tau_apparent\":" << (first ? "null" : jsonNumber(tau)) << '}';
            } else {
                out << sums.bins[i] << ',' << shortest(sums.q[j]) << ',' << shortest(logZ) << ','
                    << (first ? "" : shortest(tau)) << '\n';
            }
        }
    }
    out << (json ? "]}\n" : "");
}

} // namespace veltrane::cli
