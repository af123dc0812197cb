#pragma once

// Maps and measures as the user gives them: break points 0 < B_1 < ... < B_k < 1 of a map of
// k + 1 branches, each stretching its piece onto [0, 1], and positive weights on the branches.
#include <cstddef>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include <veltrane/export.h>

namespace veltrane {

// The most break points a list may hold: a map of a million branches.
inline constexpr std::size_t kMostBreakPoints = 1'000'000;

// Reads a number spelled as in the input fields (optional blanks, an optional sign, decimal
// digits with at most one separator "." or localeSeparator, an optional exponent) in double
// precision, rounded to nearest. nullopt when the text is not such a number or lies beyond the
// double range; a magnitude too small for a double becomes a subnormal or zero.
VELTRANE_API std::optional<double> textToDouble(std::string_view text,
                                                std::string_view localeSeparator = ".");

// Throws BreakPointError unless there is at least one break point, every one is finite and
// lies strictly inside (0, 1), and each is greater than the one before.
VELTRANE_API void checkBreakPoints(std::span<const double> breakPoints);

// Converts the texts with textToDouble and checks the values as checkBreakPoints does, throwing
// BreakPointError. The messages quote each value as it was written, shortened when it is long.
VELTRANE_API std::vector<double> parseBreakPoints(const std::vector<std::string>& texts,
                                                  std::string_view localeSeparator = ".");

// Reads at most kMostBreakPoints break points written as numbers separated by blanks, tabs or
// line ends (NumberListReader), then checks them. What cannot be read is reported with its line
// and column (InputError); a failing stream is reported as unreadable.
VELTRANE_API std::vector<double> readBreakPoints(std::istream& in,
                                                 std::string_view localeSeparator = ".");

// The exponents ln(1/L) of the branches over [0, B_1], [B_1, B_2], ..., [B_k, 1], in that
// order, for checked break points (throws BreakPointError otherwise). The one branch that may
// be longer than 1/2 takes its exponent from the other branches' total length, so that an
// exponent close to 0 keeps its relative accuracy.
VELTRANE_API std::vector<double> branchExponents(std::span<const double> breakPoints);

// Throws WeightError unless raw holds one positive finite number for each of the branches.
VELTRANE_API void checkWeights(std::span<const double> raw, std::size_t branches);

// The weights raw_i / Σ raw, one for each of the given number of branches, in branch order;
// they sum to 1 within a few units in the last place. Every raw weight must be a positive
// finite number; any such values are accepted, however large or small, since they are scaled
// by the largest before they are summed. Throws WeightError otherwise, or when raw does not
// hold exactly one weight per branch.
VELTRANE_API std::vector<double> normalizedWeights(std::span<const double> raw,
                                                   std::size_t branches);

} // namespace veltrane
