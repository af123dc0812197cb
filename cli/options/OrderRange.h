#pragma once

// The orders q an option gives as FROM:TO:STEP (--dq, --exponents, --q).
#include "OptionTable.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace veltrane::cli {

// q = from + i step for i = 0 .. count - 1, the last at most TO but for rounding.
struct OrderRange {
    double from = 0.0;
    double step = 0.0;
    std::size_t count = 0;

    double at(std::size_t i) const { return from + static_cast<double>(i) * step; }
};

// The option's FROM:TO:STEP, TO not below FROM and STEP above 0, numbers read with "." or the
// separator, at most option.most of them ("rows" or "orders" as unit says). Throws UsageError
// naming the option otherwise.
OrderRange orderRange(const Option& option, const std::string& text, const std::string& separator,
                      std::string_view unit);

} // namespace veltrane::cli
