// The laws as text: the command line's NAME:KEY=VALUE form, generator lists a line each, and
// the description that reads back to the same law.
#include "ModelData.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <veltrane/errors.h>
#include <veltrane/internal/text.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

constexpr std::string_view kLaws = "lognormal, beta, dirichlet, permutation or twovalued";

// As a line of --batch: room for a generator of 64 branches written at full precision.
constexpr std::size_t kLongestLine = 16384;

std::string quoted(std::string_view text) {
    return "\"" + internal::elided(text) + "\"";
}

// Numbers with "." as their separator only: ',' and '/' separate parameters and list items.
double number(std::string_view text, const std::string& what) {
    const auto value = decimalToDouble(text, "");
    if (!value) {
        throw InputError(what + " " + quoted(text) + " is not a number");
    }
    return *value;
}

std::vector<double> numberList(std::string_view text, char separator, const std::string& what) {
    std::vector<double> values;
    for (std::size_t start = 0;;) {
        const std::size_t stop = text.find(separator, start);
        values.push_back(number(text.substr(start, stop - start), what));
        if (stop == std::string_view::npos) {
            return values;
        }
        start = stop + 1;
    }
}

// The words of text separated by blanks.
std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && internal::isBlank(text[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && !internal::isBlank(text[i])) {
            ++i;
        }
        if (i > start) {
            out.push_back(text.substr(start, i - start));
        }
    }
    return out;
}

// The KEY=VALUE parameters of a law, each taken once and all of them used.
class Parameters {
public:
    Parameters(std::string_view law, std::string_view text) : m_law(law) {
        for (std::size_t start = 0; start <= text.size();) {
            const std::size_t stop = std::min(text.find(',', start), text.size());
            const std::string_view item = text.substr(start, stop - start);
            const std::size_t equals = item.find('=');
            if (equals == std::string_view::npos || equals == 0) {
                throw InputError(m_law + ": " + quoted(item) + " is not KEY=VALUE");
            }
            const std::string key(item.substr(0, equals));
            if (std::any_of(m_items.begin(), m_items.end(),
                            [&](const auto& kv) { return kv.first == key; })) {
                throw InputError(m_law + ": " + key + " is given twice");
            }
            m_items.emplace_back(key, item.substr(equals + 1));
            start = stop + 1;
        }
    }

    std::string_view take(const std::string& key) {
        const auto found = std::find_if(m_items.begin(), m_items.end(),
                                        [&](const auto& kv) { return kv.first == key; });
        if (found == m_items.end()) {
            throw InputError(m_law + ": " + key + "=VALUE is missing");
        }
        const std::string_view value = found->second;
        m_items.erase(found);
        return value;
    }
    double number(const std::string& key) {
        return veltrane::number(take(key), m_law + ": " + key);
    }
    std::vector<double> list(const std::string& key) {
        return numberList(take(key), '/', m_law + ": an item of " + key);
    }
    // b, a whole number of children: digits only, so that no rounding makes one.
    unsigned base() {
        const std::string_view text = take("b");
        if (text.empty() || text.size() > 3 ||
            !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            throw InputError(m_law + ": b " + quoted(text) + " is not a whole number from 2 to " +
                             std::to_string(RandomModel::kMaxBase));
        }
        return static_cast<unsigned>(std::stoul(std::string(text)));
    }
    void done() const {
        if (!m_items.empty()) {
            throw InputError(m_law + ": unknown parameter " + quoted(m_items.front().first));
        }
    }

private:
    std::string m_law;
    std::vector<std::pair<std::string, std::string_view>> m_items;
};

RandomModel lawOf(std::string_view name, Parameters& p) {
    if (name == "lognormal") {
        const unsigned b = p.base();
        return RandomModel::logNormal(b, p.number("sigma2"));
    }
    if (name == "beta") {
        return RandomModel::beta(p.number("a"));
    }
    if (name == "dirichlet") {
        return RandomModel::dirichlet(p.list("a"));
    }
    if (name == "permutation") {
        return RandomModel::permutation(p.list("w"));
    }
    if (name == "twovalued") {
        const unsigned b = p.base();
        const double prob = p.number("p");
        return RandomModel::twoValued(b, prob, p.number("u"));
    }
    throw InputError("unknown law " + quoted(name) + "; the laws are " + std::string(kLaws) +
                     " (generator lists are read from a file)");
}

std::string joined(const std::vector<double>& values) {
    std::string text;
    for (const double v : values) {
        text += (text.empty() ? "" : "/") + shortest(v);
    }
    return text;
}

// One generator line, "PROBABILITY | BREAKS | WEIGHTS", into generators and probabilities.
void readLine(std::string_view line, std::vector<RandomModel::Generator>& generators,
              std::vector<double>& probabilities) {
    std::array<std::string_view, 3> fields{};
    std::size_t start = 0;
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const std::size_t stop = f + 1 < fields.size() ? line.find('|', start) : line.size();
        if (stop == std::string_view::npos) {
            throw InputError("a generator is PROBABILITY | BREAKS | WEIGHTS, three fields "
                             "separated by '|'");
        }
        fields[f] = line.substr(start, stop - start);
        start = stop + 1;
    }
    if (fields[2].find('|') != std::string_view::npos) {
        throw InputError("a generator is PROBABILITY | BREAKS | WEIGHTS; this line has more "
                         "than three fields");
    }
    const auto probability = words(fields[0]);
    if (probability.size() != 1) {
        throw InputError("the probability is one number; " + std::to_string(probability.size()) +
                         " words given");
    }
    probabilities.push_back(number(probability[0], "the probability"));
    RandomModel::Generator generator;
    for (const auto w : words(fields[1])) {
        generator.breakPoints.push_back(number(w, "break point"));
    }
    for (const auto w : words(fields[2])) {
        generator.weights.push_back(number(w, "weight"));
    }
    // Checked now, so that the message names this line.
    random::normalizedProbabilities(std::span(probabilities).last(1));
    random::checkedGenerator(generator, 0);
    generators.push_back(std::move(generator));
}

} // namespace

RandomModel RandomModel::parse(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        throw InputError("a law is NAME:KEY=VALUE,..., as lognormal:b=2,sigma2=0.2; " +
                         quoted(text) + " has no ':'");
    }
    const std::string_view name = text.substr(0, colon);
    Parameters parameters(name, text.substr(colon + 1));
    RandomModel model = lawOf(name, parameters);
    parameters.done();
    return model;
}

RandomModel RandomModel::readGenerators(std::string_view text) {
    std::vector<Generator> generators;
    std::vector<double> probabilities;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        // A line ends at LF, CRLF or a lone CR.
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        std::string_view line = text.substr(0, end);
        const std::size_t next = end + (end < text.size() && text[end] == '\r' &&
                                                end + 1 < text.size() && text[end + 1] == '\n'
                                            ? 2
                                            : 1);
        text.remove_prefix(std::min(next, text.size()));
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (line.size() > kLongestLine) {
            throw InputError(where + "longer than " + std::to_string(kLongestLine) + " bytes");
        }
        line = internal::trimBlanks(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        if (generators.size() == kMaxGenerators) {
            throw InputError(where + "more than " + std::to_string(kMaxGenerators) + " generators");
        }
        try {
            readLine(line, generators, probabilities);
        } catch (const BreakPointError& e) {
            throw BreakPointError(where + e.what());
        } catch (const WeightError& e) {
            throw WeightError(where + e.what());
        } catch (const InputError& e) {
            throw InputError(where + e.what());
        }
    }
    if (generators.empty()) {
        throw InputError("no generator given: a generator is a line PROBABILITY | BREAKS | "
                         "WEIGHTS");
    }
    return RandomModel::generators(generators, probabilities);
}

std::string RandomModel::describe() const {
    const auto& given = m_data->given;
    switch (m_data->kind) {
    case Kind::Generators:
        return "generators:" + std::to_string(m_data->generators.size());
    case Kind::Permutation:
        return "permutation:w=" + joined(given);
    case Kind::Dirichlet:
        if (given.size() == 2 && given[0] == given[1]) {
            return "beta:a=" + shortest(given[0]);
        }
        return "dirichlet:a=" + joined(given);
    case Kind::LogNormal:
        return "lognormal:b=" + std::to_string(m_data->base) + ",sigma2=" + shortest(given[0]);
    case Kind::TwoValued:
        return "twovalued:b=" + std::to_string(m_data->base) + ",p=" + shortest(given[0]) +
               ",u=" + shortest(given[1]);
    }
    return {};
}

} // namespace veltrane
