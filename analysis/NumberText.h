#pragma once

#include <string>

namespace veltrane {

// The shortest text that reads back to the same value ("0.35667497", "-0", "1e-10").
std::string shortest(float value);
std::string shortest(double value);

} // namespace veltrane
