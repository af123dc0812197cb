#pragma once

// The one rule every JSON document of the command line writes its numbers by.
#include <iosfwd>
#include <string>
#include <vector>

namespace veltrane::cli {

// A number as JSON has it: the shortest text that reads back to the value, with ".", or null
// for an infinity or a NaN, which JSON cannot hold (the ends of a multifractal spectrum, where
// q and tau are infinite).
std::string jsonNumber(double value);
std::string jsonNumber(float value);

// "[v1,v2,...]", each value as jsonNumber writes it.
template <typename T> void writeJsonList(const std::vector<T>& values, std::ostream& out);

} // namespace veltrane::cli
