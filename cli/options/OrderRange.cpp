#include "OrderRange.h"

#include "Commands.h"

#include <cmath>
#include <optional>
#include <veltrane/text.h>

namespace veltrane::cli {

OrderRange orderRange(const Option& option, const std::string& text, const std::string& separator,
                      std::string_view unit) {
    const auto first = text.find(':');
    const auto second = first == std::string::npos ? first : text.find(':', first + 1);
    const auto number = [&](std::size_t from, std::size_t to) {
        return second == std::string::npos
                   ? std::nullopt
                   : decimalToDouble(text.substr(from, to - from), separator);
    };
    const auto from = number(0, first);
    const auto to = number(first + 1, second);
    const auto step = number(second + 1, text.size());
    const std::string word(option.word);
    if (!from || !to || !step || !(*to >= *from) || !(*step > 0.0)) {
        throw UsageError(word + " takes FROM:TO:STEP, three numbers with TO not below FROM and " +
                         "STEP above 0");
    }
    // A TO that the steps reach only up to rounding still counts.
    const double count = std::floor((*to - *from) / *step * (1.0 + 1e-12)) + 1.0;
    if (!(count <= static_cast<double>(option.most))) {
        throw UsageError(word + " gives at most " + std::to_string(option.most) + " " +
                         std::string(unit));
    }
    return {*from, *step, static_cast<std::size_t>(count)};
}

} // namespace veltrane::cli
