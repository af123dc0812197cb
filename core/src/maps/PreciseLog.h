#pragma once

// Logarithms of lengths and weights to about 106 bits, for the ratios ln p / ln ℓ of a measure
// whose branches' local dimensions differ by little more than the rounding of a double: their
// differences, which the multifractal spectrum's α - r_i are made of, then keep about 50 bits.
#include "DoubleDouble.h"

#include <cmath>

namespace veltrane {

// ln(1 + v) for v in [1/√2 - 1, √2 - 1] to about 106 bits, as 2 atanh(u) with u = v / (2 + v),
// |u| ≤ 0.172: the series Σ u^(2k+1) / (2k+1) falls below 2^-110 of its first term within its
// 23 terms. The result keeps its relative precision however small v is.
inline DoubleDouble logOnePlusSmall(DoubleDouble v) {
    if (std::fabs(v.hi) < 0x1p-500) {
        return v; // v²/2 is below 2^-500 of v; and v / (2 + v) could fall into the subnormals
    }
    const DoubleDouble u = v / (DoubleDouble{2.0, 0.0} + v);
    const DoubleDouble u2 = u * u;
    DoubleDouble power = u;
    DoubleDouble sum = u;
    for (int k = 1; k <= 22; ++k) {
        power = power * u2;
        sum = sum + power / DoubleDouble{2.0 * k + 1.0, 0.0};
    }
    return sum * 2.0;
}

// ln x of a positive x (subnormal included) to about 106 bits: x = m 2^k with m in
// [1/√2, √2), ln x = k ln 2 + ln(1 + (m - 1)), m - 1 exact. k ln 2 is exact to 2^-106 of
// itself: ln 2 is held to 106 bits, and k has at most 11.
inline DoubleDouble preciseLog(double x) {
    constexpr DoubleDouble kLn2{0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};
    int k = 0;
    double m = std::frexp(x, &k); // x = m 2^k, m in [1/2, 1)
    if (m < 0x1.6a09e667f3bcdp-1) {
        m *= 2.0;
        --k;
    }
    const DoubleDouble rest = logOnePlusSmall(DoubleDouble{m - 1.0, 0.0});
    return kLn2 * static_cast<double>(k) + rest;
}

// ln x of a positive x given as hi + lo, to about 106 bits.
inline DoubleDouble preciseLog(DoubleDouble x) {
    return preciseLog(x.hi) + logOnePlusSmall(DoubleDouble{x.lo / x.hi, 0.0});
}

// ln(1 + v) for v > -1 given as hi + lo, to about 106 bits and to its own relative precision
// where v is small.
inline DoubleDouble preciseLogOnePlus(DoubleDouble v) {
    if (std::fabs(v.hi) <= 0.25) { // within logOnePlusSmall's range
        return logOnePlusSmall(v);
    }
    return preciseLog(DoubleDouble{1.0, 0.0} + v);
}

// ln(1 / (right - left)) for 0 ≤ left < right ≤ 1, as lengthExponent gives it but to about
// 106 bits: the length, or the rest left + (1 - right) of a segment longer than 1/2, is formed
// exactly first.
inline DoubleDouble preciseLengthExponent(double left, double right) {
    const DoubleDouble length = exactSum(right, -left);
    if (length.hi > 0.5) {
        const DoubleDouble rest = exactSum(1.0, -right) + DoubleDouble{left, 0.0};
        return -preciseLogOnePlus(-rest);
    }
    return -preciseLog(length);
}

} // namespace veltrane
