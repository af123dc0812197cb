#pragma once

#include <array>
#include <cstdint>

namespace veltrane::classic {

// The graph data store: up to three graphs (numbers 0 to 3, 0 unused) of up to 101 points
// (indices 0 to 100), filled by the analyses and read by the graph window. Every element
// access tests both indices and throws SubscriptError (Errors.h) outside them.
//
// graph_n(k) is the index of the last point of graph k, not a count: -1 means no point.
// Elements above graph_n(k) and graphs above graph_count are stale and must not be read.
class Module1 {
public:
    static constexpr int kLastGraph = 3;
    static constexpr int kLastPoint = 100;

    float& graph_x(int k, int j) { return m_x[pointIndex(k, j)]; }
    float graph_x(int k, int j) const { return m_x[pointIndex(k, j)]; }
    float& graph_y(int k, int j) { return m_y[pointIndex(k, j)]; }
    float graph_y(int k, int j) const { return m_y[pointIndex(k, j)]; }
    std::int16_t& graph_n(int k) { return m_n[graphIndex(k)]; }
    std::int16_t graph_n(int k) const { return m_n[graphIndex(k)]; }

    // Number of graphs to draw: graphs 1 to graph_count.
    std::int16_t graph_count = 0;

    // True when both stores hold the same bits everywhere, stale elements included, so a
    // negative zero differs from a positive one and a store compares equal only to its copy.
    bool sameBits(const Module1& other) const;

private:
    static int graphIndex(int k);
    static int pointIndex(int k, int j);

    static constexpr std::size_t kElements = std::size_t{kLastGraph + 1} * (kLastPoint + 1);

    std::array<float, kElements> m_x{};
    std::array<float, kElements> m_y{};
    std::array<std::int16_t, kLastGraph + 1> m_n{};
};

} // namespace veltrane::classic
