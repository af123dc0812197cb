#pragma once

// The expected spectra of the laws of random cascades, one class a family, private to the core.
// Each gives τ, D_q, h and α at an order q; RandomSpectrum adds the other conventions, the
// roots and the checks.
#include "ModelData.h"
#include "Special.h"

#include <limits>
#include <memory>
#include <vector>

namespace veltrane::random {

// The exponents of order q but ζ, β and f, which follow from them (exponents.h).
struct Orders {
    double tau = 0.0;
    double dq = 0.0;
    double hurst = 0.0;
    double alpha = 0.0;
};

class Law {
public:
    Law() = default;
    Law(const Law&) = delete;
    Law& operator=(const Law&) = delete;
    virtual ~Law() = default;

    // For qMin() < q finite; may be infinite or NaN beyond the range of doubles.
    virtual Orders at(double q) const = 0;
    virtual double qMin() const { return -std::numeric_limits<double>::infinity(); }
    // -τ(0), the dimension of the support: 1 but where cells of mass 0 are not counted.
    virtual double supportDimension() const { return 1.0; }
    // Whether f(α(q)) falls below 0 as q goes to +infinity (side > 0) or to qMin() (side < 0).
    virtual bool fTurnsNegative(int side) const = 0;
    // Whether τ comes back to 0 at some q > 1.
    virtual bool tauReturns() const { return false; }
    // Closed forms of q*± (side ±1) and q_crit where the family has them; NaN otherwise.
    virtual double qStarClosed(int /*side*/) const {
        return std::numeric_limits<double>::quiet_NaN();
    }
    virtual double qCritClosed() const { return std::numeric_limits<double>::quiet_NaN(); }
};

std::unique_ptr<const Law> lawOf(const RandomModel::Data& data);

} // namespace veltrane::random
