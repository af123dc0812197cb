#pragma once

// One exponent of a measure, by the name the package gives it, at many orders q.
#include <span>
#include <string>
#include <veltrane/multifractal.h>
#include <veltrane/run.h>

namespace veltrane::python {

// The conventions of exponents.h the package offers as functions of their own.
enum class Exponent { Tau, Dq, Hurst, Zeta, Beta };

// "tau", "dq", "hurst", "zeta" or "beta"; anything else is a fault of the package, reported
// as an internal error.
Exponent exponentNamed(const std::string& name);

// The exponent at each of qs, into out (of the same length), checked against the bounds. τ, D_q
// and β come from the rows of D_q alone; h and ζ need the points of order q as well.
void solveExponent(const MultifractalSolver& solver, std::span<const double> qs, Exponent which,
                   std::span<double> out, const RunControl& control);

} // namespace veltrane::python
