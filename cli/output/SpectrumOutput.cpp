#include "SpectrumOutput.h"

#include "Json.h"

#include <ostream>
#include <string>
#include <veltrane/text.h>

namespace veltrane::cli {
using namespace veltrane::classic;

std::vector<SpectrumPoint<float>> storedPoints(const Module1& store) {
    std::vector<SpectrumPoint<float>> points;
    for (int j = 0; j <= store.graph_n(1); ++j) {
        points.push_back({static_cast<std::size_t>(j), store.graph_x(1, j), store.graph_y(1, j),
                          store.graph_y(2, j)});
    }
    return points;
}

std::vector<SpectrumPoint<double>> exactPoints(std::span<const ExactPoint> points,
                                               std::size_t first) {
    std::vector<SpectrumPoint<double>> result;
    result.reserve(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        result.push_back({first + i, points[i].lyapunov, points[i].entropy, points[i].dimension});
    }
    return result;
}

void writeCsvHeader(std::ostream& out, bool maps) {
    out << (maps ? "map," : "") << "index,lyapunov,entropy,dimension\n";
}

template <typename T>
void writeCsvRows(std::span<const SpectrumPoint<T>> points, std::ostream& out,
                  std::optional<long> map) {
    const std::string lead = map ? std::to_string(*map) + "," : "";
    for (const SpectrumPoint<T>& p : points) {
        out << lead << p.index << ',' << shortest(p.lyapunov) << ',' << shortest(p.entropy) << ','
            << shortest(p.dimension) << '\n';
    }
}

template <typename T>
void writeCsv(const std::vector<SpectrumPoint<T>>& points, std::ostream& out) {
    writeCsvHeader(out);
    writeCsvRows<T>(points, out);
}

template <typename T>
void writeJsonHead(const std::vector<T>& breakPoints, const std::vector<T>& exponents,
                   std::ostream& out, std::optional<long> map) {
    out << '{';
    if (map) {
        out << "\"map\":" << *map << ',';
    }
    out << "\"breakPoints\":";
    writeJsonList(breakPoints, out);
    out << ",\"exponents\":";
    writeJsonList(exponents, out);
    out << ",\"points\":[";
}

template <typename T>
void writeJsonPoints(std::span<const SpectrumPoint<T>> points, std::ostream& out) {
    for (const SpectrumPoint<T>& p : points) {
        out << (p.index == 0 ? "" : ",") << "\n{\"index\":" << p.index
            << ",\"lyapunov\":" << jsonNumber(p.lyapunov)
            << ",\"entropy\":" << jsonNumber(p.entropy)
            << ",\"dimension\":" << jsonNumber(p.dimension) << '}';
    }
}

void writeJsonTail(std::ostream& out) {
    out << "]}";
}

template <typename T>
void writeJson(const std::vector<T>& breakPoints, const std::vector<T>& exponents,
               const std::vector<SpectrumPoint<T>>& points, std::ostream& out,
               std::optional<long> map) {
    writeJsonHead(breakPoints, exponents, out, map);
    writeJsonPoints<T>(points, out);
    writeJsonTail(out);
}

template void writeCsv(const std::vector<SpectrumPoint<float>>&, std::ostream&);
template void writeCsv(const std::vector<SpectrumPoint<double>>&, std::ostream&);
template void writeCsvRows(std::span<const SpectrumPoint<float>>, std::ostream&,
                           std::optional<long>);
template void writeCsvRows(std::span<const SpectrumPoint<double>>, std::ostream&,
                           std::optional<long>);
template void writeJsonHead(const std::vector<double>&, const std::vector<double>&, std::ostream&,
                            std::optional<long>);
template void writeJsonPoints(std::span<const SpectrumPoint<double>>, std::ostream&);
template void writeJson(const std::vector<float>&, const std::vector<float>&,
                        const std::vector<SpectrumPoint<float>>&, std::ostream&,
                        std::optional<long>);
template void writeJson(const std::vector<double>&, const std::vector<double>&,
                        const std::vector<SpectrumPoint<double>>&, std::ostream&,
                        std::optional<long>);

void writeJsonArrayNext(bool first, std::ostream& out) {
    out << (first ? "[\n" : ",\n");
}

void writeJsonArrayEnd(bool empty, std::ostream& out) {
    out << (empty ? "[]\n" : "\n]\n");
}

void writeRows(std::span<const SpectrumPoint<double>> points, bool json, std::ostream& out) {
    if (json) {
        writeJsonPoints<double>(points, out);
    } else {
        writeCsvRows<double>(points, out);
    }
}

} // namespace veltrane::cli
