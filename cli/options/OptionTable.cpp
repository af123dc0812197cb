#include "OptionTable.h"

namespace veltrane::cli {

namespace {

// --help writes an option and its value in a column this wide, then two blanks and its help;
// a longer one has its help on the next line, at the same place.
constexpr std::size_t kTermWidth = 14;
constexpr std::size_t kHelpColumn = 2 + kTermWidth + 2;

std::string replaced(std::string text, std::string_view from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The option's help with its limits in place, each line after the first indented to the help
// column.
std::string helpOf(const Option& option) {
    std::string help = replaced(std::string(option.help), "{least}", std::to_string(option.least));
    help = replaced(std::move(help), "{most}", mostText(option));
    help = replaced(std::move(help), "{default}", std::to_string(option.byDefault));
    return replaced(std::move(help), "\n", "\n" + std::string(kHelpColumn, ' '));
}

} // namespace

std::string mostText(const Option& option) {
    std::string text = std::to_string(option.most);
    if (option.mostAsPower) {
        text += " (2^" + std::to_string(std::countr_zero(option.most)) + ")";
    }
    return text;
}

std::string wholeNumberProblem(const Option& option) {
    return std::string(option.word) + " takes a whole number from " + std::to_string(option.least) +
           " to " + mostText(option);
}

std::string optionList(std::optional<Command> command) {
    std::string text;
    for (const Option* option : kOptions) {
        if (command && !option->commands.contain(*command)) {
            continue;
        }
        std::string term(option->word);
        if (!option->valueName.empty()) {
            term += ' ';
            term += option->valueName;
        }
        const bool fits = term.size() <= kTermWidth;
        text += "  " + term;
        text += fits ? std::string(kHelpColumn - 2 - term.size(), ' ')
                     : "\n" + std::string(kHelpColumn, ' ');
        text += helpOf(*option) + '\n';
    }
    return text;
}

} // namespace veltrane::cli
