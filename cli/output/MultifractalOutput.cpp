#include "MultifractalOutput.h"

#include "Json.h"

#include <ostream>
#include <veltrane/maps.h>
#include <veltrane/text.h>

namespace veltrane::cli {

void writeMeasureHead(const std::vector<double>& breakPoints, const std::vector<double>& weights,
                      std::ostream& out) {
    out << "{\"breakPoints\":";
    writeJsonList(breakPoints, out);
    out << ",\"weights\":";
    writeJsonList(normalizedWeights(weights, weights.size()), out);
    out << ',';
}

void writeSpectrumHead(bool json, std::ostream& out) {
    out << (json ? "\"points\":[" : "index,alpha,f,q,tau\n");
}

void writeSpectrumRows(std::size_t first, std::span<const MultifractalPoint> points, bool json,
                       std::ostream& out) {
    for (std::size_t k = 0; k < points.size(); ++k) {
        const std::size_t i = first + k;
        const MultifractalPoint& p = points[k];
        if (json) {
            out << (i == 0 ? "" : ",") << "\n{\"index\":" << i
                << ",\"alpha\":" << jsonNumber(p.alpha) << ",\"f\":" << jsonNumber(p.f)
                << ",\"q\":" << jsonNumber(p.q) << ",\"tau\":" << jsonNumber(p.tau) << '}';
        } else {
            out << i << ',' << shortest(p.alpha) << ',' << shortest(p.f) << ',' << shortest(p.q)
                << ',' << shortest(p.tau) << '\n';
        }
    }
}

void writeSpectrumTail(bool json, std::ostream& out) {
    out << (json ? "]}\n" : "");
}

void writeDqHead(bool json, std::ostream& out) {
    out << (json ? "\"dq\":[" : "q,tau,D_q\n");
}

void writeDqRows(std::size_t first, std::span<const DqPoint> rows, bool json, std::ostream& out) {
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const DqPoint& p = rows[k];
        if (json) {
            out << (first + k == 0 ? "" : ",") << "\n{\"q\":" << jsonNumber(p.q)
                << ",\"tau\":" << jsonNumber(p.tau) << ",\"D_q\":" << jsonNumber(p.dq) << '}';
        } else {
            out << shortest(p.q) << ',' << shortest(p.tau) << ',' << shortest(p.dq) << '\n';
        }
    }
}

void writeDqTail(bool json, std::ostream& out) {
    out << (json ? "]}\n" : "");
}

} // namespace veltrane::cli
