#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

namespace veltrane {

// The bracket (lo, hi) of a root that a Newton search keeps its steps inside. The search sets
// lo or hi after each evaluation, by the sign of the function there.
class Bracket {
public:
    // widening: the first step out of a side still open, a length on the scale of the root.
    explicit Bracket(double widening) : m_widening(widening) {}

    double lo = -std::numeric_limits<double>::infinity();
    double hi = std::numeric_limits<double>::infinity();

    // The next point from x and its Newton step: x + newton where that stays inside the
    // bracket and the steps shrink fast enough (at most half the step before last); otherwise
    // the middle of the bracket, or, while one side is open, a step out of that side that
    // doubles each time. x itself means no other double is left to try.
    double next(double x, double newton) {
        double next = x + newton;
        const bool newtonUsable =
            next > lo && next < hi && std::fabs(newton) <= 0.5 * std::fabs(m_stepBefore);
        if (!newtonUsable) {
            if (std::isfinite(lo) && std::isfinite(hi)) {
                next = lo + 0.5 * (hi - lo);
            } else {
                m_widening = std::max(2.0 * m_widening, std::fabs(x));
                next = std::isfinite(lo) ? lo + m_widening : hi - m_widening;
            }
        }
        m_stepBefore = m_lastStep;
        m_lastStep = next - x;
        return next;
    }

private:
    double m_widening;
    double m_lastStep = std::numeric_limits<double>::infinity();
    double m_stepBefore = std::numeric_limits<double>::infinity();
};

} // namespace veltrane
