#pragma once

#include <array>
#include <streambuf>

namespace veltrane::process {

// The buffer of an output stream onto a file descriptor that checks every write: one that
// fails (a full disk, a pipe closed while SIGPIPE is ignored) throws WriteError ("write error:
// <reason>"). Give the stream exceptions(std::ios::badbit) so that the error reaches the
// command.
class FdOutput : public std::streambuf {
public:
    explicit FdOutput(int fd) : m_fd(fd) {
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    }
    FdOutput(const FdOutput&) = delete;
    FdOutput& operator=(const FdOutput&) = delete;
    ~FdOutput() override;

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    void drain();

    int m_fd;
    std::array<char, 65536> m_buffer{};
};

} // namespace veltrane::process
