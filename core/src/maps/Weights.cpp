#include <algorithm>
#include <cmath>
#include <string>
#include <veltrane/errors.h>
#include <veltrane/maps.h>
#include <veltrane/text.h>

namespace veltrane {

void checkWeights(std::span<const double> raw, std::size_t branches) {
    if (raw.size() != branches) {
        throw WeightError(std::to_string(raw.size()) + (raw.size() == 1 ? " weight" : " weights") +
                          " given for a map of " + std::to_string(branches) + " branches");
    }
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (!(std::isfinite(raw[i]) && raw[i] > 0.0)) {
            throw WeightError("weight " + std::to_string(i + 1) + " (" + shortest(raw[i]) +
                              ") must be a positive finite number");
        }
    }
}

std::vector<double> normalizedWeights(std::span<const double> raw, std::size_t branches) {
    checkWeights(raw, branches);
    if (raw.empty()) {
        return {};
    }
    // Dividing by the largest first keeps the sum finite and the smallest weights normal
    // wherever the quotients allow.
    const double largest = *std::max_element(raw.begin(), raw.end());
    std::vector<double> weights;
    weights.reserve(raw.size());
    double sum = 0.0;
    for (const double w : raw) {
        weights.push_back(w / largest);
        sum += weights.back();
    }
    for (double& w : weights) {
        w /= sum;
    }
    return weights;
}

} // namespace veltrane
