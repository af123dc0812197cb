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
                << ",\"q\":" << jsonNumber(p.q) << ",\"tau\":" << jsonNumber(p.beta) << '}';
        } else {
            out << i << ',' << shortest(p.alpha) << ',' << shortest(p.f) << ',' << shortest(p.q)
                << ',' << shortest(p.beta) << '\n';
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
                << ",\"tau\":" << jsonNumber(p.beta) << ",\"D_q\":" << jsonNumber(p.dq) << '}';
        } else {
            out << shortest(p.q) << ',' << shortest(p.beta) << ',' << shortest(p.dq) << '\n';
        }
    }
}

void writeDqTail(bool json, std::ostream& out) {
    out << (json ? "]}\n" : "");
}

void writeExponentsHead(bool json, std::ostream& out) {
    out << (json ? "\"exponents\":[" : "q,partition_tau,D_q,h,zeta,beta,alpha,f\n");
}

void writeRandomHead(const RandomHead& head, bool json, std::ostream& out) {
    const std::pair<const char*, double> orders[] = {
        {"q_star_minus", head.qStarMinus}, {"q_star_plus", head.qStarPlus}, {"q_crit", head.qCrit}};
    // A description holds letters, digits and ":=,./-+" only: nothing to escape in JSON.
    if (json) {
        out << "{\"model\":\"" << head.model << '"';
        for (const auto& [name, value] : orders) {
            out << ",\"" << name << "\":" << jsonNumber(value);
        }
        out << ',';
        return;
    }
    out << "# model=" << head.model << '\n';
    for (const auto& [name, value] : orders) {
        out << "# " << name << '=' << shortest(value) << '\n';
    }
}

void writeExponentsRows(std::size_t first, std::span<const Exponents> rows, bool json,
                        std::ostream& out) {
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Exponents& x = rows[k];
        const double values[] = {x.q, x.tau, x.dq, x.hurst, x.zeta, x.beta, x.alpha, x.f};
        static constexpr const char* kNames[] = {"q",    "partition_tau", "D_q",   "h",
                                                 "zeta", "beta",          "alpha", "f"};
        out << (json && first + k > 0 ? "," : "") << (json ? "\n{" : "");
        for (std::size_t c = 0; c < std::size(values); ++c) {
            if (json) {
                out << (c == 0 ? "\"" : ",\"") << kNames[c] << "\":" << jsonNumber(values[c]);
            } else {
                out << (c == 0 ? "" : ",") << shortest(values[c]);
            }
        }
        out << (json ? "}" : "\n");
    }
}

} // namespace veltrane::cli
