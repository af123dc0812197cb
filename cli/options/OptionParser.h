#pragma once

#include "OptionTable.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace veltrane::cli {

// What the words of a command give: its values and the options given, each with its value.
class GivenOptions {
public:
    // The words that are neither options nor an option's value, in order, but those that
    // belong to a List option.
    const std::vector<std::string>& values() const { return m_values; }

    bool has(const Option& option) const { return m_given.contains(&option); }

    // The number a Whole option is given, within its limits.
    template <typename Number> std::optional<Number> number(const Option& option) const {
        const auto given = m_given.find(&option);
        if (given == m_given.end()) {
            return std::nullopt;
        }
        return static_cast<Number>(given->second.number);
    }

    // The number a Whole option is given, or its default (Option::byDefault).
    template <typename Number> Number numberOrDefault(const Option& option) const {
        return number<Number>(option).value_or(static_cast<Number>(option.byDefault));
    }

    // The text a File or Range option is given.
    std::optional<std::string> text(const Option& option) const;

    // The values that belong to a List option, or each value of an option that may be given
    // again and again (Option::once false), in order.
    std::vector<std::string> list(const Option& option) const;

private:
    friend class OptionReader;

    struct Given {
        std::string text;
        std::uint64_t number = 0;
        std::vector<std::string> list;
    };

    std::vector<std::string> m_values;
    std::map<const Option*, Given> m_given;
};

struct ParsedOptions {
    std::optional<GivenOptions> given;
    std::string problem; // set when given is empty
    bool help = false;   // --help is among the options, whatever else is wrong with them
};

// Reads the words after a command's name by the option table. A word that begins with "--" is
// one of the command's options, anything else ("-0.3", "-", "" too) a value; after "--" every
// word is a value, and after a List option every value is its. Returns the first problem in
// the words' order: an option the command does not take, one given twice, a missing value, or
// a number outside the option's limits; then the first pair of kConflicts given together.
ParsedOptions parseOptions(const std::vector<std::string>& words, Command command);

} // namespace veltrane::cli
