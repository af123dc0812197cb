#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <span>
#include <vector>
#include <veltrane/classic/Module1.h>
#include <veltrane/exact.h>

namespace veltrane::cli {

// One point of a spectral diagram as the output writes it: singles from the store, doubles
// from the exact solver.
template <typename T> struct SpectrumPoint {
    std::size_t index;
    T lyapunov;
    T entropy;
    T dimension;
};

// Graphs 1 and 2 of the store, points 0..graph_n(1).
std::vector<SpectrumPoint<float>> storedPoints(const classic::Module1& store);
// The points numbered from first on.
std::vector<SpectrumPoint<double>> exactPoints(std::span<const ExactPoint> points,
                                               std::size_t first = 0);

// The CSV header "index,lyapunov,entropy,dimension", led by "map," for a list of maps.
void writeCsvHeader(std::ostream& out, bool maps = false);

// One CSV row a point, led by the map's number (its line in a list of maps) when given.
template <typename T>
void writeCsvRows(std::span<const SpectrumPoint<T>> points, std::ostream& out,
                  std::optional<long> map = std::nullopt);

// The header and the rows.
template <typename T> void writeCsv(const std::vector<SpectrumPoint<T>>& points, std::ostream& out);

// The same points as a JSON object, with the break points and the branch exponents, and the
// map's number first when given; no line end after it.
template <typename T>
void writeJson(const std::vector<T>& breakPoints, const std::vector<T>& exponents,
               const std::vector<SpectrumPoint<T>>& points, std::ostream& out,
               std::optional<long> map = std::nullopt);

// writeJson in three parts, for points written as they are computed: the object up to the
// points' "[", the points (any number of calls, in order, from index 0), and the closing "]}".
template <typename T>
void writeJsonHead(const std::vector<T>& breakPoints, const std::vector<T>& exponents,
                   std::ostream& out, std::optional<long> map = std::nullopt);
template <typename T>
void writeJsonPoints(std::span<const SpectrumPoint<T>> points, std::ostream& out);
void writeJsonTail(std::ostream& out);

// The objects of many maps as one JSON array, an object at a time: what goes before each
// object ("[" and a line end before the first, "," and a line end before the others), and the
// closing after the last, or the empty array "[]" when there was none, with a line end.
void writeJsonArrayNext(bool first, std::ostream& out);
void writeJsonArrayEnd(bool empty, std::ostream& out);

// Exact points solved as they come, as JSON's points or as CSV rows.
void writeRows(std::span<const SpectrumPoint<double>> points, bool json, std::ostream& out);

} // namespace veltrane::cli
