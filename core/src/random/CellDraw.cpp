#include "CellDraw.h"

#include <Random123/philox.h>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace veltrane::detail {

namespace {

// The key's second word for the draws of cells; other streams a realization may need later
// take other values.
constexpr std::uint64_t kCellStream = 0;

// ln Γ-distributed deviate of shape a > 0 (scale 1), returned as its logarithm so that the
// tiny deviates of a small shape do not underflow before they are normalized. Marsaglia and
// Tsang's method for a ≥ 1; for a < 1, Γ(a + 1) U^(1/a).
double logGamma(double a, CellStream& stream) {
    const double shape = a < 1.0 ? a + 1.0 : a;
    const double d = shape - 1.0 / 3.0;
    const double c = 1.0 / std::sqrt(9.0 * d);
    double logValue = 0.0;
    for (;;) {
        const double x = stream.normal();
        const double t = 1.0 + c * x;
        if (t <= 0.0) {
            continue;
        }
        const double v = t * t * t;
        const double u = stream.uniform();
        if (std::log(u) < 0.5 * x * x + d - d * v + d * std::log(v)) {
            logValue = std::log(d * v);
            break;
        }
    }
    return a < 1.0 ? logValue + std::log(stream.uniform()) / a : logValue;
}

void drawGenerator(const DrawTables& tables, CellStream& stream, Children& out) {
    const auto& generators = tables.data->generators;
    std::size_t k = 0;
    if (generators.size() > 1) {
        const double u = stream.uniform();
        k = static_cast<std::size_t>(
            std::upper_bound(tables.cumulative.begin(), tables.cumulative.end() - 1, u) -
            tables.cumulative.begin());
    }
    out.generator = k;
    out.weights = generators[k].weights;
}

void drawPermutation(const DrawTables& tables, CellStream& stream, Children& out) {
    const auto& w = tables.data->values;
    out.buffer.assign(w.begin(), w.end());
    for (std::size_t i = out.buffer.size() - 1; i > 0; --i) {
        std::swap(out.buffer[i], out.buffer[stream.below(i + 1)]);
    }
    out.weights = out.buffer;
}

void drawDirichlet(const DrawTables& tables, CellStream& stream, Children& out) {
    const auto& a = tables.data->values;
    out.buffer.resize(a.size());
    double most = -INFINITY;
    for (std::size_t i = 0; i < a.size(); ++i) {
        out.buffer[i] = logGamma(a[i], stream);
        most = std::max(most, out.buffer[i]);
    }
    double sum = 0.0;
    for (double& g : out.buffer) {
        g = std::exp(g - most);
        sum += g;
    }
    for (double& g : out.buffer) {
        g /= sum;
    }
    out.weights = out.buffer;
}

void drawLogNormal(const DrawTables& tables, CellStream& stream, Children& out) {
    out.buffer.resize(tables.data->base);
    for (double& w : out.buffer) {
        w = std::exp(tables.sigma * stream.normal() - tables.halfSigma2) * tables.inverseBase;
    }
    out.weights = out.buffer;
}

void drawTwoValued(const DrawTables& tables, CellStream& stream, Children& out) {
    const double p = tables.data->values[0];
    const double u = tables.data->values[1];
    const double v = tables.data->values[2];
    out.buffer.resize(tables.data->base);
    for (double& w : out.buffer) {
        w = stream.uniform() < p ? u : v;
    }
    out.weights = out.buffer;
}

} // namespace

CellStream::CellStream(std::uint64_t seed, std::uint64_t realization, unsigned level,
                       CellIndex index)
    : m_key{seed, realization},
      m_counter{level, static_cast<std::uint64_t>(index), static_cast<std::uint64_t>(index >> 64),
                kCellStream} {}

void CellStream::refill() {
    const r123::Philox4x64::ctr_type counter = {
        {m_counter[0], m_counter[1], m_counter[2], m_counter[3]}};
    const r123::Philox4x64::key_type key = {{m_key[0], m_key[1]}};
    const auto block = r123::Philox4x64{}(counter, key);
    std::copy(block.begin(), block.end(), m_block);
    // The word number sits in the top 32 bits of the last counter word, under the stream.
    m_counter[3] += std::uint64_t{1} << 32;
    m_next = 0;
}

std::uint64_t CellStream::word() {
    if (m_next == 4) {
        refill();
    }
    return m_block[m_next++];
}

double CellStream::uniform() {
    return (static_cast<double>(word() >> 11) + 0.5) * 0x1p-53;
}

std::uint64_t CellStream::below(std::uint64_t m) {
    __extension__ typedef unsigned __int128 Wide;
    Wide product = static_cast<Wide>(word()) * m;
    auto low = static_cast<std::uint64_t>(product);
    if (low < m) {
        const std::uint64_t threshold = (0 - m) % m;
        while (low < threshold) {
            product = static_cast<Wide>(word()) * m;
            low = static_cast<std::uint64_t>(product);
        }
    }
    return static_cast<std::uint64_t>(product >> 64);
}

double CellStream::normal() {
    if (m_hasSpare) {
        m_hasSpare = false;
        return m_spare;
    }
    for (;;) {
        const double u = 2.0 * uniform() - 1.0;
        const double v = 2.0 * uniform() - 1.0;
        const double s = u * u + v * v;
        if (s < 1.0 && s > 0.0) {
            const double factor = std::sqrt(-2.0 * std::log(s) / s);
            m_spare = v * factor;
            m_hasSpare = true;
            return u * factor;
        }
    }
}

DrawTables::DrawTables(const RandomModel::Data& model) : data(&model) {
    if (model.kind == RandomModel::Kind::Generators) {
        cumulative.resize(model.probabilities.size());
        std::partial_sum(model.probabilities.begin(), model.probabilities.end(),
                         cumulative.begin());
    }
    if (model.kind == RandomModel::Kind::LogNormal) {
        sigma = std::sqrt(model.values[0]);
        halfSigma2 = 0.5 * model.values[0];
    }
    inverseBase = model.base > 0 ? 1.0 / model.base : 0.0;
}

void drawChildren(const DrawTables& tables, CellStream& stream, Children& out) {
    switch (tables.data->kind) {
    case RandomModel::Kind::Generators:
        drawGenerator(tables, stream, out);
        return;
    case RandomModel::Kind::Permutation:
        drawPermutation(tables, stream, out);
        return;
    case RandomModel::Kind::Dirichlet:
        drawDirichlet(tables, stream, out);
        return;
    case RandomModel::Kind::LogNormal:
        drawLogNormal(tables, stream, out);
        return;
    case RandomModel::Kind::TwoValued:
        drawTwoValued(tables, stream, out);
        return;
    }
}

} // namespace veltrane::detail
