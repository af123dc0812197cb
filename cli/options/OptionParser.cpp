#include "OptionParser.h"

#include <charconv>
#include <veltrane/internal/text.h>
#include <veltrane/text.h>

namespace veltrane::cli {

std::optional<std::string> GivenOptions::text(const Option& option) const {
    const auto given = m_given.find(&option);
    if (given == m_given.end()) {
        return std::nullopt;
    }
    return given->second.text;
}

std::vector<std::string> GivenOptions::list(const Option& option) const {
    const auto given = m_given.find(&option);
    return given == m_given.end() ? std::vector<std::string>{} : given->second.list;
}

namespace {

const Option* optionOf(const std::string& word, Command command) {
    for (const Option* option : kOptions) {
        if (option->word == word && option->commands.contain(command)) {
            return option;
        }
    }
    return nullptr;
}

// A whole number within the option's limits, written in decimal digits only, or nothing.
std::optional<std::uint64_t> wholeNumber(const std::string& text, const Option& option) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < option.least || value > option.most) {
        return std::nullopt;
    }
    return value;
}

} // namespace

// The words of one command, read one at a time into what they give.
class OptionReader {
public:
    OptionReader(const std::vector<std::string>& words, Command command)
        : m_words(words), m_command(command), m_values(&m_given.m_values) {}

    ParsedOptions read() {
        for (; m_next < m_words.size(); ++m_next) {
            const std::string& word = m_words[m_next];
            if (m_onlyValues || !word.starts_with("--")) {
                m_values->push_back(word);
            } else if (auto problem = take(word)) {
                return {std::nullopt, *problem, helpFromHere()};
            }
        }
        const bool help = m_given.has(option::help);
        if (const auto problem = conflict()) {
            return {std::nullopt, std::string(*problem), help};
        }
        return {m_given, {}, help};
    }

private:
    // Whether --help is given before the first problem or among the words after it, short of
    // "--": asked for, the usage comes whatever the other words hold.
    bool helpFromHere() const {
        if (m_given.has(option::help)) {
            return true;
        }
        for (std::size_t i = m_next; i < m_words.size() && !m_onlyValues; ++i) {
            if (m_words[i] == "--") {
                return false;
            }
            if (m_words[i] == option::help.word) {
                return true;
            }
        }
        return false;
    }

    std::optional<std::string_view> conflict() const {
        for (const Conflict& pair : kConflicts) {
            if (m_given.has(*pair.first) && m_given.has(*pair.second)) {
                return pair.problem;
            }
        }
        return std::nullopt;
    }

    std::optional<std::string> take(const std::string& word) {
        const Option* option = optionOf(word, m_command);
        if (option == nullptr) {
            return "unknown option " + internal::elided(word);
        }
        if (m_given.has(*option) && option->once) {
            return word + " is given twice";
        }
        GivenOptions::Given& given = m_given.m_given[option];
        if (option->value == Value::List) {
            m_values = &given.list;
        } else if (option->value == Value::Rest) {
            m_onlyValues = true;
        } else if (takesValue(*option)) {
            return takeValue(*option, given);
        }
        return std::nullopt;
    }

    std::optional<std::string> takeValue(const Option& option, GivenOptions::Given& given) {
        if (++m_next == m_words.size()) {
            return std::string(option.word) + " needs a value";
        }
        given.text = m_words[m_next];
        if (!option.once) {
            given.list.push_back(given.text); // every value of an option given again and again
        }
        if (option.value == Value::Whole) {
            const auto number = wholeNumber(given.text, option);
            if (!number) {
                return wholeNumberProblem(option);
            }
            given.number = *number;
        }
        return std::nullopt;
    }

    const std::vector<std::string>& m_words;
    const Command m_command;
    GivenOptions m_given;
    std::vector<std::string>* m_values; // where the next value goes
    std::size_t m_next = 0;
    bool m_onlyValues = false; // after "--"
};

ParsedOptions parseOptions(const std::vector<std::string>& words, Command command) {
    return OptionReader(words, command).read();
}

} // namespace veltrane::cli
