#include "CellDraw.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace veltrane::detail {

namespace {

// ln of a Γ-distributed deviate of shape a > 0 (scale 1), as its logarithm so that the tiny
// deviates of a small shape do not underflow before they are normalized. Marsaglia and Tsang's
// method for a ≥ 1; for a < 1, Γ(a + 1) U^(1/a).
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

} // namespace

Ziggurat::Ziggurat() {
    double f = std::exp(-0.5 * kR * kR);
    x[0] = kArea / f;
    x[1] = kR;
    x[kLayers] = 0.0;
    for (int i = 2; i < kLayers; ++i) {
        x[i] = std::sqrt(-2.0 * std::log(kArea / x[i - 1] + f));
        f = std::exp(-0.5 * x[i] * x[i]);
    }
    for (int i = 0; i < kLayers; ++i) {
        ratio[i] = x[i + 1] / x[i];
    }
}

// The draws outside a layer's rectangle: the tail beyond r from the bottom layer (Marsaglia's
// exponential rejection), a wedge by comparing with the density, or a fresh word.
double CellStream::normalBeyond(double u, unsigned layer) {
    const Ziggurat& z = ziggurat();
    for (;;) {
        if (layer == 0) {
            double x = 0.0;
            double y = 0.0;
            do {
                x = std::log(uniform()) / Ziggurat::kR;
                y = std::log(uniform());
            } while (-2.0 * y < x * x);
            return u < 0.0 ? x - Ziggurat::kR : Ziggurat::kR - x;
        }
        const double x = u * z.x[layer];
        const double f0 = std::exp(-0.5 * (z.x[layer] * z.x[layer] - x * x));
        const double f1 = std::exp(-0.5 * (z.x[layer + 1] * z.x[layer + 1] - x * x));
        if (f1 + uniform() * (f0 - f1) < 1.0) {
            return x;
        }
        const std::uint64_t w = word();
        u = 2.0 * unit(w) - 1.0;
        layer = static_cast<unsigned>(w & 0x7F);
        if (std::abs(u) < z.ratio[layer]) {
            return u * z.x[layer];
        }
    }
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

void drawPermutation(const DrawTables& t, CellStream& s, Weights& w) {
    const auto& given = t.data->values;
    std::copy(given.begin(), given.end(), w.begin());
    for (std::size_t i = given.size() - 1; i > 0; --i) {
        std::swap(w[i], w[s.below(i + 1)]);
    }
}

void drawDirichlet(const DrawTables& t, CellStream& s, Weights& w) {
    const auto& a = t.data->values;
    double most = -INFINITY;
    for (std::size_t i = 0; i < a.size(); ++i) {
        w[i] = logGamma(a[i], s);
        most = std::max(most, w[i]);
    }
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        w[i] = std::exp(w[i] - most);
        sum += w[i];
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        w[i] /= sum;
    }
}

std::size_t drawGenerator(const DrawTables& t, CellStream& s) {
    if (t.data->generators.size() == 1) {
        return 0;
    }
    const double u = s.uniform();
    return static_cast<std::size_t>(
        std::upper_bound(t.cumulative.begin(), t.cumulative.end() - 1, u) - t.cumulative.begin());
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
    const unsigned b = tables.data->base;
    switch (tables.data->kind) {
    case RandomModel::Kind::Generators:
        out.generator = drawGenerator(tables, stream);
        out.weights = tables.data->generators[out.generator].weights;
        return;
    case RandomModel::Kind::Permutation:
        drawPermutation(tables, stream, out.buffer);
        break;
    case RandomModel::Kind::Dirichlet:
        drawDirichlet(tables, stream, out.buffer);
        break;
    case RandomModel::Kind::LogNormal:
        drawLogNormal(tables, stream, out.buffer);
        break;
    case RandomModel::Kind::TwoValued:
        drawTwoValued(tables, stream, out.buffer);
        break;
    }
    out.weights = std::span<const double>(out.buffer.data(), b);
}

} // namespace veltrane::detail
