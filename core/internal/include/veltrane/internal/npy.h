#pragma once

// NumPy's .npy format, for writing masses that NumPy reads back as they are.
#include <cstdint>
#include <string>

namespace veltrane::internal {

// The header of a NumPy .npy file (format version 1.0) holding n little-endian doubles in one
// dimension: magic, version, header length and the dictionary padded with blanks and ended
// by a line end so that the data starts at a multiple of 64 bytes.
std::string npyHeader(std::uint64_t n);

} // namespace veltrane::internal
