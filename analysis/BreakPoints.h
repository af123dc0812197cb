#pragma once

#include "NumberList.h"

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

// Break points that cannot describe a map: the message names the offending value and where it
// stands ("break point 3 (0.2) must be greater than break point 2 (0.4)").
class BreakPointError : public InputError {
public:
    using InputError::InputError;
};

// The most break points a list may hold: a map of a million branches.
inline constexpr std::size_t kMostBreakPoints = 1'000'000;

// Reads a number spelled as in the input fields (optional blanks, an optional sign, decimal
// digits with at most one separator "." or localeSeparator, an optional exponent) in double
// precision, rounded to nearest. nullopt when the text is not such a number or lies beyond the
// double range; a magnitude too small for a double becomes a subnormal or zero.
std::optional<double> textToDouble(std::string_view text, std::string_view localeSeparator = ".");

// Throws BreakPointError unless there is at least one break point, every one is finite and
// lies strictly inside (0, 1), and each is greater than the one before.
void checkBreakPoints(const std::vector<double>& breakPoints);

// Converts the texts with textToDouble and checks the values as checkBreakPoints does. The
// messages quote each value as it was written, shortened when it is long.
std::vector<double> parseBreakPoints(const std::vector<std::string>& texts,
                                     std::string_view localeSeparator = ".");

// Reads at most kMostBreakPoints break points written as numbers separated by blanks, tabs or
// line ends (NumberListReader), then checks them. What cannot be read is reported with its line
// and column (InputError); a failing stream is reported as unreadable.
std::vector<double> readBreakPoints(std::istream& in, std::string_view localeSeparator = ".");

// The exponents ln(1/L) of the branches over [0, B_1], [B_1, B_2], ..., [B_k, 1], in that
// order, for checked break points (throws BreakPointError otherwise). The one branch that may
// be longer than 1/2 takes its exponent from the other branches' total length, so that an
// exponent close to 0 keeps its relative accuracy.
std::vector<double> branchExponents(const std::vector<double>& breakPoints);

} // namespace veltrane
