#include "CellDraw.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace veltrane::detail {

namespace {

// The factor v of a Γ-distributed deviate d v of shape a ≥ 1 (scale 1) by Marsaglia and
// Tsang's method, given d = a - 1/3 and c = 1/√(9d): v = t³, t = 1 + c x for x standard
// normal, accepted where ln u < g = x²/2 + d - d v + d ln v. A squeeze u < 1 - k x⁴ below e^g
// accepts most draws without a logarithm, and the same deviates (GammaShape says which k).
// v ≥ 2^-159: t is a multiple of 2^-53 where c x is near -1.
double gammaFactor(const GammaShape& shape, CellStream& stream) {
    for (;;) {
        const double x = stream.normal();
        const double t = 1.0 + shape.c * x;
        if (t <= 0.0) {
            continue;
        }
        const double v = t * t * t;
        const double u = stream.uniform();
        const double x2 = x * x;
        if (u < 1.0 - shape.squeeze * x2 * x2 ||
            std::log(u) < 0.5 * x2 + shape.d - shape.d * v + shape.d * std::log(v)) {
            return v;
        }
    }
}

// ln of a Γ-distributed deviate of any shape a > 0, as its logarithm so that the tiny deviates
// of a small shape do not underflow before they are normalized (for a < 1, Γ(a + 1) U^(1/a)),
// nor the huge ones of a shape near the largest double overflow.
double logGamma(const GammaShape& shape, CellStream& stream) {
    const double v = gammaFactor(shape, stream);
    const double value = shape.d * v;
    const double logValue =
        std::isfinite(value) ? std::log(value) : std::log(shape.d) + std::log(v);
    return shape.a < 1.0 ? logValue + std::log(stream.uniform()) / shape.a : logValue;
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

void CellStream::refill() {
    m_block = r123::Philox4x64{}(m_counter, m_key);
    ++m_counter[3];
    m_next = 0;
    m_end = 4;
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
    const std::size_t b = t.shapes.size();
    if (t.gammaValues) {
        double sum = 0.0;
        for (std::size_t i = 0; i < b; ++i) {
            w[i] = t.shapes[i].d * gammaFactor(t.shapes[i], s);
            sum += w[i];
        }
        for (std::size_t i = 0; i < b; ++i) {
            w[i] /= sum;
        }
        return;
    }
    double most = -INFINITY;
    for (std::size_t i = 0; i < b; ++i) {
        w[i] = logGamma(t.shapes[i], s);
        most = std::max(most, w[i]);
    }
    double sum = 0.0;
    for (std::size_t i = 0; i < b; ++i) {
        w[i] = std::exp(w[i] - most);
        sum += w[i];
    }
    for (std::size_t i = 0; i < b; ++i) {
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

namespace {
// Γ deviates of shapes 1 ≤ a ≤ 2^960 lie within (2^-160, 2^970): the at most 64 of a cell add
// up to a finite double, so such laws draw values, not logarithms (a weight that underflows
// in the quotient does so from the logarithms too).
constexpr double kLargestValueShape = 0x1p960;
} // namespace

// With y = c x, g = d h(y) where h(0) = 0 and h'(y) = -3y³/(1 + y), so that g ≥ -x⁴/(108 d t)
// for t < 1 (x < 0) and g ≥ -x⁴/(108 d) for x ≥ 0: e^g ≥ 1 + g gives the squeeze for x ≥ 0.
// For x < 0, k = m/(108 d) serves where t ≥ 1/m, and where t < 1/m, |x| > 3√d (1 - 1/m) makes
// 1 - k x⁴ negative once 3/4 m d (1 - 1/m)⁴ ≥ 1; Marsaglia and Tsang's k = 0.0331 serves every
// a ≥ 1 too, and the smaller of the two is taken: at a = 2 the squeeze leaves logarithms to
// 5 in 100 draws (theirs to 8), at a = 5 to 1.4 in 100.
GammaShape gammaShape(double a) {
    const double d = (a < 1.0 ? a + 1.0 : a) - 1.0 / 3.0;
    const auto reaches = [d](double m) {
        const double q = 1.0 - 1.0 / m;
        return 0.75 * m * d * q * q * q * q >= 1.0;
    };
    double low = 1.0;
    double high = 8.0; // reaches(8) for every d ≥ 2/3
    for (int i = 0; i < 60; ++i) {
        const double mid = 0.5 * (low + high);
        (reaches(mid) ? high : low) = mid;
    }
    const double k = 1.0 / (108.0 * d);
    return {a, d, 1.0 / std::sqrt(9.0 * d), std::min(0.0331, high * k)};
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
    if (model.kind == RandomModel::Kind::Dirichlet) {
        for (const double a : model.values) {
            shapes.push_back(gammaShape(a));
        }
        ownBlocks = true;
        gammaValues = std::all_of(shapes.begin(), shapes.end(), [](const GammaShape& g) {
            return g.a >= 1.0 && g.a <= kLargestValueShape;
        });
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
