#pragma once

// Sums of nonnegative terms that keep the rounding of each addition.
namespace veltrane {

// Neumaier's compensated addition of x ≥ 0 to a sum of nonnegative terms: the rounding of each
// addition is kept in carry, so that a sum of many terms is within a few units of its last
// place however the terms compare.
inline void addCompensated(double& sum, double& carry, double x) {
    const double t = sum + x;
    carry += sum >= x ? (sum - t) + x : (x - t) + sum;
    sum = t;
}

// Positive terms added with addCompensated; value() is the sum with its carry.
class PositiveSum {
public:
    void add(double x) { addCompensated(m_sum, m_carry, x); }
    double value() const { return m_sum + m_carry; }

private:
    double m_sum = 0.0;
    double m_carry = 0.0;
};

} // namespace veltrane
