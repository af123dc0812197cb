#pragma once

#include <cmath>

namespace veltrane {

// ln(1 / (right - left)) for 0 ≤ left < right ≤ 1: the exponent of a linear branch that
// stretches [left, right] onto [0, 1]. A segment longer than 1/2 takes its exponent from the
// rest of the interval, left + (1 - right), which is known to a rounding there (1 - right is
// exact for right > 1/2), so that log1p keeps an exponent close to 0 accurate where
// ln(length) would not.
inline double lengthExponent(double left, double right) {
    const double length = right - left;
    if (length > 0.5) {
        const double rest = left + (1.0 - right);
        return -std::log1p(-rest);
    }
    return -std::log(length);
}

} // namespace veltrane
