#include "Checked.h"

#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace veltrane {
namespace {

ErrorKind kindOf(const auto& operation) {
    try {
        operation();
    } catch (const RuntimeError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no error raised";
    return ErrorKind::Platform;
}

TEST(Checked, ZeroOverZeroIsInvalidAndNonzeroOverZeroIsDivisionByZero) {
    EXPECT_EQ(kindOf([] { checked::div(0.0, 0.0); }), ErrorKind::InvalidOperation);
    EXPECT_EQ(kindOf([] { checked::div(-0.0, 0.0); }), ErrorKind::InvalidOperation);
    EXPECT_EQ(kindOf([] { checked::div(1.0, -0.0); }), ErrorKind::DivisionByZero);
    EXPECT_EQ(kindOf([] { checked::ln(0.0); }), ErrorKind::DivisionByZero);
    EXPECT_EQ(kindOf([] { checked::ln(-1.0); }), ErrorKind::InvalidOperation);
}

TEST(Checked, OverflowOfDoubleOperations) {
    EXPECT_EQ(kindOf([] { checked::mul(1e300, 1e300); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { checked::div(1e300, 1e-300); }), ErrorKind::Overflow);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(kindOf([&] { checked::add(nan, 1.0); }), ErrorKind::InvalidOperation);
}

TEST(Checked, RoundingToSingleOverflowsExactlyWhereTheResultWouldBeInfinite) {
    EXPECT_EQ(checked::toSingle(FLT_MAX), FLT_MAX);
    // Just below the midpoint between FLT_MAX and 2^128 still rounds down to FLT_MAX.
    EXPECT_EQ(checked::toSingle(std::nextafter(0x1.ffffffp+127, 0.0)), FLT_MAX);
    EXPECT_EQ(kindOf([] { checked::toSingle(0x1.ffffffp+127); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { checked::toSingle(-1e39); }), ErrorKind::Overflow);
    // Underflow is not an error: tiny values round to a subnormal or to zero.
    EXPECT_EQ(checked::toSingle(1e-50), 0.0F);
    EXPECT_GT(checked::toSingle(1e-40), 0.0F);
}

TEST(Checked, SixteenBitCounterOverflowsPast32767) {
    std::int16_t counter = 32766;
    checked::increment(counter);
    EXPECT_EQ(counter, 32767);
    EXPECT_EQ(kindOf([&] { checked::increment(counter); }), ErrorKind::Overflow);
    EXPECT_EQ(counter, 32767);
}

} // namespace
} // namespace veltrane
