#include "ModelData.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <veltrane/errors.h>
#include <veltrane/maps.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

void checkBase(unsigned base, const char* law) {
    if (base < 2 || base > RandomModel::kMaxBase) {
        throw InputError(std::string(law) + ": the base b (" + std::to_string(base) +
                         ") must be an integer from 2 to " + std::to_string(RandomModel::kMaxBase));
    }
}

// A count of children a cell within 2 .. kMaxBase, for the laws given by one value a child.
void checkChildren(std::size_t count, const char* law, const char* what) {
    if (count < 2 || count > RandomModel::kMaxBase) {
        throw InputError(std::string(law) + ": " + std::to_string(count) + " " + what +
                         " given; a cell has 2 to " + std::to_string(RandomModel::kMaxBase) +
                         " children, one each");
    }
}

} // namespace

namespace random {

std::vector<double> normalizedProbabilities(std::span<const double> raw) {
    for (std::size_t k = 0; k < raw.size(); ++k) {
        if (!(std::isfinite(raw[k]) && raw[k] > 0.0)) {
            throw InputError("probability " + std::to_string(k + 1) + " (" + shortest(raw[k]) +
                             ") must be a positive finite number");
        }
    }
    return normalizedWeights(raw, raw.size());
}

RandomModel::Generator checkedGenerator(const RandomModel::Generator& raw, std::size_t index) {
    const std::string where = "generator " + std::to_string(index + 1) + ": ";
    try {
        if (raw.breakPoints.size() + 1 > RandomModel::kMaxBase) {
            throw InputError(std::to_string(raw.breakPoints.size() + 1) +
                             " branches; a cell has at most " +
                             std::to_string(RandomModel::kMaxBase) + " children");
        }
        if (!raw.breakPoints.empty()) {
            checkBreakPoints(raw.breakPoints);
        }
        return {raw.breakPoints, normalizedWeights(raw.weights, raw.breakPoints.size() + 1)};
    } catch (const BreakPointError& e) {
        throw BreakPointError(where + e.what());
    } catch (const WeightError& e) {
        throw WeightError(where + e.what());
    } catch (const InputError& e) {
        throw InputError(where + e.what());
    }
}

} // namespace random

RandomModel::RandomModel(std::shared_ptr<const Data> data) : m_data(std::move(data)) {}

RandomModel RandomModel::generators(std::span<const Generator> generators,
                                    std::span<const double> probabilities) {
    if (generators.empty() || generators.size() > kMaxGenerators) {
        throw InputError("generators: " + std::to_string(generators.size()) +
                         " given; a law has 1 to " + std::to_string(kMaxGenerators));
    }
    if (probabilities.size() != generators.size()) {
        throw InputError("generators: " + std::to_string(probabilities.size()) +
                         " probabilities given for " + std::to_string(generators.size()) +
                         " generators");
    }
    Data data;
    data.kind = Kind::Generators;
    data.probabilities = random::normalizedProbabilities(probabilities);
    data.given.assign(probabilities.begin(), probabilities.end());
    data.generators.reserve(generators.size());
    for (std::size_t k = 0; k < generators.size(); ++k) {
        data.generators.push_back(random::checkedGenerator(generators[k], k));
        data.givenGenerators.push_back(generators[k]);
    }
    // Cells that never split make no cascade: the realizations would not end, τ has no root.
    if (std::all_of(generators.begin(), generators.end(),
                    [](const Generator& g) { return g.breakPoints.empty(); })) {
        throw InputError("generators: no generator splits a cell; give one of at least 2 "
                         "branches");
    }
    return RandomModel(std::make_shared<const Data>(std::move(data)));
}

RandomModel RandomModel::permutation(std::span<const double> weights) {
    checkChildren(weights.size(), "permutation", "weights");
    Data data;
    data.kind = Kind::Permutation;
    data.base = static_cast<unsigned>(weights.size());
    data.values = normalizedWeights(weights, weights.size());
    data.given.assign(weights.begin(), weights.end());
    return RandomModel(std::make_shared<const Data>(std::move(data)));
}

namespace {
constexpr double kLeastShape = 1e-300;
} // namespace

RandomModel RandomModel::dirichlet(std::span<const double> alphas) {
    checkChildren(alphas.size(), "dirichlet", "parameters");
    for (std::size_t i = 0; i < alphas.size(); ++i) {
        if (!(std::isfinite(alphas[i]) && alphas[i] > 0.0)) {
            throw InputError("dirichlet: parameter a" + std::to_string(i + 1) + " (" +
                             shortest(alphas[i]) + ") must be a positive finite number");
        }
        // A Γ deviate of shape a < 1 is drawn as Γ(a + 1) U^(1/a), whose logarithm ln U / a
        // leaves the doubles below about 1e-306.
        if (alphas[i] < kLeastShape) {
            throw InputError("dirichlet: parameter a" + std::to_string(i + 1) + " (" +
                             shortest(alphas[i]) + ") must be at least 1e-300");
        }
    }
    Data data;
    data.kind = Kind::Dirichlet;
    data.base = static_cast<unsigned>(alphas.size());
    data.values.assign(alphas.begin(), alphas.end());
    data.given = data.values;
    return RandomModel(std::make_shared<const Data>(std::move(data)));
}

RandomModel RandomModel::beta(double a) {
    const double alphas[] = {a, a};
    return dirichlet(alphas);
}

RandomModel RandomModel::logNormal(unsigned base, double sigma2) {
    checkBase(base, "lognormal");
    if (!(std::isfinite(sigma2) && sigma2 >= 0.0)) {
        throw InputError("lognormal: sigma2 (" + shortest(sigma2) +
                         ") must be a finite number at least 0");
    }
    // E Σ W_i ln W_i = σ²/2 - ln b: at or above 0 the cascade dies out almost surely.
    const double bound = 2.0 * std::log(static_cast<double>(base));
    if (sigma2 >= bound) {
        throw InputError("lognormal: sigma2 (" + shortest(sigma2) + ") must be less than 2 ln b (" +
                         shortest(bound) +
                         "): otherwise E sum W ln W >= 0 and the cascade is degenerate, its "
                         "limit 0 almost surely");
    }
    Data data;
    data.kind = Kind::LogNormal;
    data.base = base;
    data.values = {sigma2};
    data.given = {sigma2};
    return RandomModel(std::make_shared<const Data>(std::move(data)));
}

RandomModel RandomModel::twoValued(unsigned base, double p, double u) {
    checkBase(base, "twovalued");
    if (!(p > 0.0 && p < 1.0)) {
        throw InputError("twovalued: p (" + shortest(p) + ") must lie strictly inside (0, 1)");
    }
    const double b = base;
    // b (p u + (1 - p) v) = 1 puts 1/b between v and u: u > v exactly when u > 1/b, and
    // v ≥ 0 when u ≤ 1/(b p).
    if (!(std::isfinite(u) && u * b > 1.0 && u * b * p <= 1.0)) {
        throw InputError("twovalued: u (" + shortest(u) + ") must lie in (1/b, 1/(b p)] = (" +
                         shortest(1.0 / b) + ", " + shortest(1.0 / (b * p)) +
                         "], so that the other value v = (1 - b p u) / (b (1 - p)) is at least 0 "
                         "and below u");
    }
    const double v = std::max(0.0, (1.0 - b * p * u) / (b * (1.0 - p)));
    // E Σ W ln W = b (p u ln u + (1 - p) v ln v), 0 ln 0 = 0.
    const double drift = b * (p * u * std::log(u) + (v > 0.0 ? (1.0 - p) * v * std::log(v) : 0.0));
    if (drift >= 0.0) {
        throw InputError("twovalued: E sum W ln W (" + shortest(drift) +
                         ") must be negative: otherwise the cascade is degenerate, its limit 0 "
                         "almost surely");
    }
    Data data;
    data.kind = Kind::TwoValued;
    data.base = base;
    data.values = {p, u, v};
    data.given = {p, u};
    return RandomModel(std::make_shared<const Data>(std::move(data)));
}

RandomModel::Kind RandomModel::kind() const {
    return m_data->kind;
}

bool RandomModel::conservative() const {
    return m_data->kind != Kind::LogNormal && m_data->kind != Kind::TwoValued;
}

unsigned RandomModel::base() const {
    return m_data->base;
}

const std::vector<RandomModel::Generator>& RandomModel::generatorList() const {
    return m_data->generators;
}

const std::vector<double>& RandomModel::probabilities() const {
    return m_data->probabilities;
}

const std::vector<double>& RandomModel::values() const {
    return m_data->values;
}

const RandomModel::Data& RandomModel::data() const {
    return *m_data;
}

} // namespace veltrane
