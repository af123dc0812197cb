#pragma once

// A formula in x, such as "1/(2+x)" or "(exp(x)-1)/(e-1)": parsed once, then evaluated with
// its derivative (forward automatic differentiation, exact: no finite differences) in double
// precision and in Arb balls at any precision. Numbers keep their decimal text, so that "0.1"
// is 1/10 to the working precision of a ball evaluation, not the double nearest to it.
#include "Ball.h"

#include <memory>
#include <string>
#include <string_view>

namespace veltrane::detail {

// A value and its derivative with respect to x.
template <typename T> struct Jet {
    T value;
    T slope;
};

class Formula {
public:
    // The grammar: numbers (decimal, with an optional exponent: 2, 0.5, 1e-3), x, the constants
    // pi and e, + - * / ^ (right-associative, above unary minus: -x^2 is -(x^2)), parentheses,
    // and the functions exp, log, sqrt, sin, cos, tan, atan, sinh, cosh of one argument in
    // parentheses. Throws InputError whose message starts "column C: " (C from 1) at the first
    // fault: an unknown name, a missing operand or parenthesis, text left over, an empty formula.
    static Formula parse(std::string_view text);

    // The text as given, without surrounding blanks.
    const std::string& text() const;

    // ψ(x) and ψ'(x) in double precision (NaN or infinite where the formula is undefined).
    Jet<double> at(double x) const;

    // Balls holding ψ(t) and ψ'(t) for every t in the ball x, at prec bits: tight for a point
    // x, wider for a wide x (the dependency problem). A ball is indeterminate (infinite radius)
    // where the formula may be undefined somewhere in x: log or sqrt of a ball reaching 0 or
    // below, a division by a ball holding 0, x^y with a base reaching 0 and y not a whole number.
    void at(const Ball& x, long prec, Jet<Ball>& out) const;

    // The compiled formula, defined where it is made.
    struct Program;

private:
    std::shared_ptr<const Program> m_program;
};

} // namespace veltrane::detail
