#pragma once

#include <string>
#include <string_view>

namespace veltrane {

// The shortest text that reads back to the same value ("0.35667497", "-0", "1e-10").
std::string shortest(float value);
std::string shortest(double value);

// A text to quote in a message: itself up to 32 characters, else its first 32 characters and
// "…", so that no message grows with what was typed or read. A character is a UTF-8 sequence,
// never cut apart.
std::string elided(std::string_view text);

} // namespace veltrane
