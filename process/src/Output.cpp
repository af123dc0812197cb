#include <cerrno>
#include <unistd.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/Output.h>

namespace veltrane::process {

FdOutput::~FdOutput() {
    // What is left is written by the command's own flush; a destructor must not throw.
    setp(pbase(), pbase());
}

void FdOutput::drain() {
    const char* next = pbase();
    while (next < pptr()) {
        const ssize_t written = ::write(m_fd, next, static_cast<std::size_t>(pptr() - next));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            errno = written == 0 ? EIO : errno; // nothing written and no reason given
            setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
            throw WriteError(errno);
        }
        next += written;
    }
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
}

FdOutput::int_type FdOutput::overflow(int_type c) {
    drain();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int FdOutput::sync() {
    drain();
    return 0;
}

} // namespace veltrane::process
