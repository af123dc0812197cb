#pragma once

// A real number as an Arb ball (midpoint and radius), owned: Arb's arb_t with its
// initialisation and clearing tied to the object's life. Operations take the working precision
// in bits from the caller; a ball always contains the exact result of the operations that
// made it from its inputs.
#include <arb.h>
#include <utility>

namespace veltrane::detail {

class Ball {
public:
    Ball() { arb_init(m_x); }
    explicit Ball(double value) : Ball() { arb_set_d(m_x, value); }
    Ball(const Ball& other) : Ball() { arb_set(m_x, other.m_x); }
    Ball(Ball&& other) noexcept : Ball() { arb_swap(m_x, other.m_x); }
    Ball& operator=(const Ball& other) {
        arb_set(m_x, other.m_x);
        return *this;
    }
    Ball& operator=(Ball&& other) noexcept {
        arb_swap(m_x, other.m_x);
        return *this;
    }
    ~Ball() { arb_clear(m_x); }

    arb_ptr get() { return m_x; }
    arb_srcptr get() const { return m_x; }

    // The midpoint rounded to the nearest double.
    double mid() const { return arf_get_d(arb_midref(m_x), ARF_RND_NEAR); }

private:
    arb_t m_x;
};

} // namespace veltrane::detail
