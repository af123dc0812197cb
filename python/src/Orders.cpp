#include "Orders.h"

#include <vector>
#include <veltrane/errors.h>
#include <veltrane/exponents.h>

namespace veltrane::python {

Exponent exponentNamed(const std::string& name) {
    if (name == "tau") {
        return Exponent::Tau;
    }
    if (name == "dq") {
        return Exponent::Dq;
    }
    if (name == "hurst") {
        return Exponent::Hurst;
    }
    if (name == "zeta") {
        return Exponent::Zeta;
    }
    if (name == "beta") {
        return Exponent::Beta;
    }
    throw RuntimeError(ErrorKind::Internal, "the package asked for no exponent, " + name);
}

void solveExponent(const MultifractalSolver& solver, std::span<const double> qs, Exponent which,
                   std::span<double> out, const RunControl& control) {
    if (which == Exponent::Hurst || which == Exponent::Zeta) {
        std::vector<Exponents> rows(qs.size());
        solver.exponentsMany(qs, rows, control);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            out[i] = which == Exponent::Hurst ? rows[i].hurst : rows[i].zeta;
        }
        return;
    }
    std::vector<DqPoint> rows(qs.size());
    solver.dqMany(qs, rows, control);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        out[i] = which == Exponent::Dq     ? rows[i].dq
                 : which == Exponent::Beta ? rows[i].beta
                                           : convention::tauOfBeta(rows[i].beta);
    }
}

} // namespace veltrane::python
