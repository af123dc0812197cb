#include <string>
#include <veltrane/internal/npy.h>

namespace veltrane {

std::string internal::npyHeader(std::uint64_t n) {
    std::string dict =
        "{'descr': '<f8', 'fortran_order': False, 'shape': (" + std::to_string(n) + ",), }";
    // magic (6) + version (2) + length (2) + dictionary + line end, to a multiple of 64
    const std::size_t unpadded = 10 + dict.size() + 1;
    dict.append((64 - unpadded % 64) % 64, ' ');
    dict.push_back('\n');
    std::string header = "\x93NUMPY\x01";
    header.push_back('\0');
    header.push_back(static_cast<char>(dict.size() & 0xFF));
    header.push_back(static_cast<char>(dict.size() >> 8));
    return header + dict;
}

} // namespace veltrane
