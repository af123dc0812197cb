#pragma once

#include <string>
#include <string_view>

namespace veltrane::cli {

// A file that appears whole or not at all: the bytes go to a hidden temporary file beside it,
// which takes the file's name only at commit(). Until then a failure, the destructor or an
// interrupt (Interrupt.h) removes it. One at a time in a process.
class AtomicFile {
public:
    // Throws CommandError (status 2, "cannot write \"path\": reason") when the file cannot be
    // made there: a missing or unwritable folder, a folder in the way.
    explicit AtomicFile(const std::string& path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Throw CommandError (status 3, "write error: reason") when the writing fails.
    void write(std::string_view bytes);
    void commit();

private:
    std::string m_path;
    std::string m_temporary;
    int m_fd = -1;
};

} // namespace veltrane::cli
