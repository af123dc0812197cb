#pragma once

#include <cmath>

namespace veltrane {

// A number held as the unevaluated sum hi + lo of two doubles, |lo| at most half a unit in
// the last place of hi: about 106 significant bits, with the exponent range of a double. The
// operations below are the classic error-free transformations; they assume round to nearest
// and no overflow, and each result is within a few units of 2^-104 of the exact one,
// relative to the larger operand for sums and to the result for products.
struct DoubleDouble {
    double hi = 0.0;
    double lo = 0.0;
};

// a + b exactly.
inline DoubleDouble exactSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly, for |a| ≥ |b| or a = 0.
inline DoubleDouble exactSumOrdered(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a × b exactly, for products that neither overflow nor fall below 2^-969.
inline DoubleDouble exactProduct(double a, double b) {
    const double p = a * b;
#ifdef __FMA__
    return {p, std::fma(a, b, -p)};
#else
    // Dekker's split into halves of 26 and 27 bits, whose products are exact.
    constexpr double kSplitter = 134217729.0; // 2^27 + 1
    const double ca = kSplitter * a;
    const double ah = ca - (ca - a);
    const double al = a - ah;
    const double cb = kSplitter * b;
    const double bh = cb - (cb - b);
    const double bl = b - bh;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
#endif
}

inline DoubleDouble operator+(DoubleDouble a, DoubleDouble b) {
    const DoubleDouble s = exactSum(a.hi, b.hi);
    const DoubleDouble t = exactSum(a.lo, b.lo);
    const DoubleDouble u = exactSumOrdered(s.hi, s.lo + t.hi);
    return exactSumOrdered(u.hi, u.lo + t.lo);
}

inline DoubleDouble operator-(DoubleDouble a) {
    return {-a.hi, -a.lo};
}
inline DoubleDouble operator-(DoubleDouble a, DoubleDouble b) {
    return a + -b;
}

// a + b and a - b within a few units of 2^-106 of the larger of |a| and |b|, not of the
// result: half the work of operator+ and operator-, and as good where a and b carry errors of
// that size themselves, or where a sum of two positive numbers cannot cancel.
inline DoubleDouble looseSum(DoubleDouble a, DoubleDouble b) {
    const DoubleDouble s = exactSum(a.hi, b.hi);
    return exactSumOrdered(s.hi, s.lo + (a.lo + b.lo));
}
inline DoubleDouble looseDifference(DoubleDouble a, DoubleDouble b) {
    return looseSum(a, -b);
}

inline DoubleDouble operator*(DoubleDouble a, double b) {
    const DoubleDouble p = exactProduct(a.hi, b);
    return exactSumOrdered(p.hi, p.lo + a.lo * b);
}

inline DoubleDouble operator*(DoubleDouble a, DoubleDouble b) {
    const DoubleDouble p = exactProduct(a.hi, b.hi);
    return exactSumOrdered(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// Exact comparisons of a double with the full value hi + lo, without branches, which a
// processor could not predict where the values are much alike.
inline bool operator<(double x, DoubleDouble w) {
    return static_cast<bool>(static_cast<int>(x < w.hi) |
                             (static_cast<int>(x == w.hi) & static_cast<int>(w.lo > 0.0)));
}
inline bool operator<(DoubleDouble a, DoubleDouble b) {
    return static_cast<bool>(static_cast<int>(a.hi < b.hi) |
                             (static_cast<int>(a.hi == b.hi) & static_cast<int>(a.lo < b.lo)));
}

// a / b within a few units of 2^-104 of the exact quotient; hi + lo rounds to the exact
// quotient whenever that is a double, since the first quotient's remainder is formed exactly.
inline DoubleDouble operator/(DoubleDouble a, DoubleDouble b) {
    const double q = a.hi / b.hi;
    const DoubleDouble r = a - b * q;
    return exactSumOrdered(q, (r.hi + r.lo) / b.hi);
}

// ln x of a positive x, to about a unit of 2^-53 of ln x however close x is to 1.
inline double logOf(DoubleDouble x) {
    return std::log(x.hi) + std::log1p(x.lo / x.hi);
}

} // namespace veltrane
